#pragma once
// A browser's upload form as the administration console sends it.

#include <QByteArray>

namespace orvane {

inline const QByteArray kBoundary = "----WebKitFormBoundaryx7Q2";

// The session token the upload forms carry; the tests set it when they log in.
inline QByteArray gUploadToken;

inline QByteArray Body(const QByteArray& fileName, const QByteArray& content,
                       const QByteArray& button = "UploadNow") {
  const QByteArray d = "--" + kBoundary;
  return d + "\r\nContent-Disposition: form-data; name=\"ADMINLOGIN\"\r\n\r\n\r\n" + d +
         "\r\nContent-Disposition: form-data; name=\"Token\"\r\n\r\n" + gUploadToken + "\r\n" + d +
         "\r\nContent-Disposition: form-data; name=\"" + button + "\"\r\n\r\n" + button + "\r\n" +
         d + "\r\nContent-Disposition: form-data; name=\"uploadFile1\"; filename=\"" + fileName +
         "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n" + d + "--\r\n";
}

inline QByteArray Head(qsizetype length) {
  return "POST / HTTP/1.1\r\nHost: h\r\nContent-Type: multipart/form-data; boundary=" + kBoundary +
         "\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n";
}

}  // namespace orvane
