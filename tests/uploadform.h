#pragma once
// A browser's upload form as the administration console sends it.

#include <QByteArray>

namespace orvane {

inline const QByteArray kBoundary = "----WebKitFormBoundaryx7Q2";
inline QByteArray gUploadToken;  // the session's, which the forms carry; set at each login

inline QByteArray Body(const QByteArray& fileName, const QByteArray& content) {
  const QByteArray part = "--" + kBoundary + "\r\nContent-Disposition: form-data; name=\"";
  return part + "ADMINLOGIN\"\r\n\r\n\r\n" + part + "Token\"\r\n\r\n" + gUploadToken + "\r\n" +
         part + "UploadNow\"\r\n\r\nUploadNow\r\n" + part + "uploadFile1\"; filename=\"" +
         fileName + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n--" +
         kBoundary + "--\r\n";
}

inline QByteArray Head(qsizetype length) {
  return "POST / HTTP/1.1\r\nHost: h\r\nContent-Type: multipart/form-data; boundary=" + kBoundary +
         "\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n";
}

}  // namespace orvane
