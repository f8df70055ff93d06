#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <functional>

namespace orvane {

// What became of a block given to the receiver.
enum class UploadResult {
  NotUpload,  // not part of the upload: the block is an ordinary request
  Waiting,    // the boundary is known, the body has not come yet: no reply
  Consumed,   // written to the file; more is to come: no reply
  Completed,  // the file is complete: the Upload Done page
  Refused,    // the first chunk came from an address that is not logged in: the Logged Out page
  NoFile,     // no file was chosen (or Back was pressed): the console page
  Failed,     // no boundary, an unusable file name, or the file could not be created: Server Error
  WriteFailed,  // the file could not be written whole (a full disk): removed; Server Error
};

// Receives the one file of an upload form (a multipart body) into the documents folder, block by
// block as the blocks arrive. Nothing is held but the start of the body until its file part
// begins, and then the last few bytes, which may be the start of the closing delimiter: the file
// never holds the delimiter, and a boundary text inside the file's own content does not end it.
// The request's Content-Length, when given, says where the body ends.
//
// The file is written under a temporary name that the public server refuses (it begins with
// ".."), and takes the place of a file of its name only when it is whole: a time-out, a broken
// connection or a full disk leave an existing file as it was.
class UploadReceiver {
 public:
  // Whether the form's session token (empty when it has none) lets the upload in.
  using Admission = std::function<bool(const QByteArray& token)>;

  ~UploadReceiver();

  // The start step, for a POST whose body is empty or begins with "---".
  UploadResult Start(const QByteArray& block, const QByteArray& docsFolder,
                     const Admission& admits);
  // The continuation step, for every block while a boundary is known.
  UploadResult Continue(const QByteArray& block, const QByteArray& docsFolder,
                        const Admission& admits);

  bool HasBoundary() const { return !boundary_.isEmpty(); }
  // The file is open and being written: every block belongs to it.
  bool Receiving() const { return fd_ >= 0; }
  // Since the last block of a receiving upload.
  qint64 MsSinceData() const { return lastData_.isValid() ? lastData_.elapsed() : 0; }
  QByteArray Path() const { return path_; }
  qint64 Length() const { return written_; }

  // Gives up the upload: what was received goes, and the next block starts afresh.
  void Abandon();
  // Forgets everything (Restart Admin).
  void Reset();

 private:
  UploadResult Open(const QByteArray& docsFolder, const Admission& admits);
  UploadResult Append(const QByteArray& data);
  bool Write(const char* data, qsizetype size);
  UploadResult Fail(UploadResult result = UploadResult::Failed);

  QByteArray boundary_;
  qint64 expectedBody_ = -1;  // the body's length, from Content-Length; -1 when not given
  qint64 bodyReceived_ = 0;
  QByteArray held_;   // the end of what arrived, not yet written
  QByteArray start_;  // the body's start, until its file part begins
  QByteArray path_;
  QByteArray temp_;  // where the file is written until it is whole
  int fd_ = -1;
  qint64 written_ = 0;
  QElapsedTimer lastData_;
};

// The stored name for the client's file name: what follows its last "/" or "\"; nothing when
// that is empty, "." or "..", or when the name holds a NUL.
QByteArray UploadFileName(const QByteArray& clientName);

}  // namespace orvane
