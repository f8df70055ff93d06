#include "admin/adminpages.h"

#include "core/runninglog.h"
#include "util/text.h"

namespace orvane {

namespace {

const QByteArray Q = "\"";

QByteArray FormAction(const AdminView& view) {
  return "<form method=" + Q + "POST" + Q + " action=" + Q +
         (view.adminTls ? "https://" : "http://") + view.host + ":" +
         QByteArray::number(view.adminPort) + Q;
}

// The session's token, in a hidden field of its own.
QByteArray TokenField(const AdminView& view) {
  return "<input type=" + Q + "hidden" + Q + " name=" + Q + "Token" + Q + " value=" + Q +
         view.token + Q + ">";
}

}  // namespace

QByteArray LoginPage(const AdminView& view) {
  return "<html><head><Title>Orvane Light Remote Server Login</Title></Head><BR>Please Enter in "
         "your User Name and Password<BR><BR><BR>" +
         FormAction(view) + "><input type=" + Q + "hidden" + Q + " name=" + Q + "UserName" + Q +
         " value><p>User Name: <input type=" + Q + "text" + Q + "name=" + Q + "UserName" + Q +
         " size=" + Q + "20" + Q + " maxlength=" + Q + "20" + Q +
         "> </p><p>Password: <input type=" + Q + "password" + Q + " name=" + Q + "password" + Q +
         " size=" + Q + "20" + Q + " maxlength=" + Q + "20" + Q + "> </p><p><input type=" + Q +
         "submit" + Q + " name=" + Q + "Request" + Q + " value=" + Q + "Login" + Q +
         "> <input type=" + Q + "reset" + Q + "name=" + Q + "Clear" + Q + " value=" + Q + "Reset" +
         Q + "> </p></form></html>";
}

QByteArray LoginFailurePage(const QByteArray& peerText, const QByteArray& peerAddress) {
  return "<html><head><Title>Orvane Light - Login Failure</title></head><BR>Login Failure<BR>"
         "Please Press your browser's back button to try again<BR><BR>HACKERS BEWARE: YOU HAVE "
         "BEEN LOGGED AND TRACED: " +
         peerText + " " + peerAddress + "<br></html>";
}

QByteArray BrowserRefusalPage() {
  return "<html><head><Title>Orvane Light - Login Failure</title></head><BR>Login Failure<BR>"
         "We're sorry, but Orvane is not configured to work with NetScape.<BR>It currently is "
         "compatible with Internet Explorer<BR><br></html>";
}

QByteArray LoggedOutPage() {
  return "<html><head><title>Administrator Logged Out</title></head>You cannot access this "
         "function<br>(Your IP address has been logged for a violation)<br>Please try to login "
         "again</html>";
}

QByteArray ServerErrorPage() {
  return "<html><head><title>Server Error!</title></head>Server Error! Hit your Back button to "
         "return</html>";
}

QByteArray TimeoutPage() {
  return "<html><head><title>Orvane Light - Upload Timeout!</title></head>The upload has timed "
         "out! Please press your browser's back button to return</html>";
}

QByteArray ConsoleFormHead(const AdminView& view) {
  return FormAction(view) + "><input type=" + Q + "hidden" + Q + " name=" + Q + "ADMINLOGIN" + Q +
         " value>" + TokenField(view);
}

QByteArray Button(const QByteArray& name) {
  return "<input type=" + Q + "Submit" + Q + " name=" + Q + name + Q + " value=" + Q + name + Q +
         ">";
}

QByteArray PageHead(const QByteArray& title, const QByteArray& closing, const AdminView& view) {
  return title + view.serverName +
         ": <br>Active Connections: " + QByteArray::number(view.activeConnections) + "/" +
         QByteArray::number(view.maxConnect) + closing;
}

QByteArray PublicLink(const AdminView& view, const QByteArray& path) {
  const QByteArray port = view.publicPort == (view.publicTls ? 443 : 80)
                              ? QByteArray()
                              : ":" + QByteArray::number(view.publicPort);
  return (view.publicTls ? "https://" : "http://") + view.host + port + "/" + path;
}

QByteArray ConsolePage(const AdminView& view, const QByteArray& listing) {
  return PageHead(
             "<html><head><Title>Orvane Light v.0.7 - Remote Administrator Logged In</title>"
             "</head><BR><H2>Administrator Logged In<BR>Server Information for ",
             "<BR><H4>Directory Listing and Other Commands:<BR>", view) +
         ConsoleFormHead(view) + "<p>" + Button("RefreshList") + Button("View Log") +
         Button("ClearLog") + Button("Upload...") + Button("Logout") + "<p>" + listing + "<p>" +
         Button("Erase") + Button("Rename") + "</html>";
}

QByteArray ViewLogPage(const RunningLog& log) {
  QByteArray page =
      "<html><head><title>Orvane Light v.0.7 - Remote Login - View Log</title></head><H3>Last 10 "
      "Entries In Running Log: </h3><p>";
  // Log lines come from strangers (request paths, user names): shown as text, never as markup.
  for (qsizetype i = std::max<qsizetype>(0, log.Count() - 10); i < log.Count(); ++i) {
    page += "<br>" + EscapeHtml(log.Line(i));
  }
  return page +
         "<br>***END OF LOG***<br><br>Press Your Browser's Back Button to Return<br><BR>"
         "</p></html>";
}

QByteArray NoticePage() {
  return "<html><head><title>Orvane Light v.0.7 - Remote - Not Available</title></head>This "
         "function is not available in this version.<br><br>Press Your Browser's Back Button to "
         "Return</html>";
}

QByteArray LogoutPage(const AdminView& view) {
  return "<html><head><title>Orvane Light - Logging Out</title></head>Thank you for logging "
         "out.<br>To make your site completely secure, please close this browser window!<br>The "
         "link will open a new window for you...please close this one!!!<br><br><a href=" +
         Q + PublicLink(view, view.indexFile) + Q + " target=" + Q + "_blank" + Q +
         ">Click to Return to Site</a></html>";
}

QByteArray UploadFormPage(const AdminView& view) {
  return PageHead("<html><head><Title>Orvane Light v.0.7 - Remote - Upload</title></head><BR><H2>",
                  "<BR></h2><BR>", view) +
         FormAction(view) + " enctype=" + Q + "multipart/form-data" + Q + "><input type=" + Q +
         "hidden" + Q + " name=" + Q + "ADMINLOGIN" + Q + " value>" + TokenField(view) +
         "<br><h3>Choose file to upload</h3><p>" + Button("UploadNow") + Button("Back") +
         "<p><input type=" + Q + "file" + Q + " name=" + Q + "uploadFile1" + Q + "></html>";
}

QByteArray UploadDonePage(const AdminView& view) {
  return "<html><head><title>Orvane Light v.0.7 - Remote - Upload Done</title></head>File has "
         "been uploaded successfully<BR>" +
         ConsoleFormHead(view) + "<p>" + Button("Back") + "</html>";
}

}  // namespace orvane
