// The administration site over real sockets: login, console commands, erase, the log, and the
// rules that keep strangers out. Browsers' own form encodings are tst_browser's.

#include <unistd.h>
#include <deque>

#include "sitefixture.h"

using namespace orvane;

class AdminTest : public SiteFixture {
  Q_OBJECT

 private Q_SLOTS:
  void init() { SetUp(); }
  void cleanup() { TearDown(); }

  void login() {
    // Reached through another of this machine's addresses, the form posts back to that one.
    RawClient client(Port(), 0, nullptr, "127.0.0.3");
    QVERIFY(client.Send("GET /anything HTTP/1.1\r\nHost: h\r\n\r\n") && client.WaitClosed());
    QCOMPARE(client.received,
             QByteArray("<html><head><Title>Orvane Light Remote Server Login</Title></Head><BR>"
                        "Please Enter in your User Name and Password<BR><BR><BR><form method=\"POST"
                        "\" action=\"http://127.0.0.3:PORT\"><input type=\"hidden\" name=\""
                        "UserName\" value><p>User Name: <input type=\"text\"name=\"UserName\" "
                        "size=\"20\" maxlength=\"20\"> </p><p>Password: <input type=\"password\""
                        " name=\"password\" size=\"20\" maxlength=\"20\"> </p><p><input type=\""
                        "submit\" name=\"Request\" value=\"Login\"> <input type=\"reset\"name=\""
                        "Clear\" value=\"Reset\"> </p></form></html>")
                 .replace("PORT", QByteArray::number(Port())));
    const QByteArray failure =
        "<html><head><Title>Orvane Light - Login Failure</title></head><BR>Login Failure<BR>"
        "Please Press your browser's back button to try again<BR><BR>HACKERS BEWARE: YOU HAVE "
        "BEEN LOGGED AND TRACED: port ";
    QVERIFY(Fetch(Post(LoginBody("Admin", "Secret1"))).endsWith(" 127.0.0.1<br></html>"));
    QVERIFY(Fetch(Post(LoginBody("admin", "secret1"))).startsWith(failure));
    // The attempts are logged, the passwords never, nor their length.
    QCOMPARE(Log(), QByteArrayList({"Remote Admin Login Request 127.0.0.1",
                                    "Remote Login: User: Admin Pass: ********",
                                    "Remote Login: User: admin Pass: ********"}));
    // Guessing: after five failures even the right password is refused, from that address only.
    for (int i = 2; i < LoginThrottle::kFreeFailures; ++i) Fetch(Post(LoginBody("admin", "guess")));
    QVERIFY(Fetch(Post(LoginBody("admin", "Secret1"))).startsWith(failure));
    QCOMPARE(Log().last(), QByteArray("Refused: too many failed logins: 127.0.0.1"));
    QVERIFY(shell_->calls.contains("Notify(Logins refused after failed guesses from 127.0.0.1)"));
    // Another address may, even with its form in two blocks, which is waited for whole.
    RawClient other(Port(), 0, "127.0.0.2");
    const QByteArray body = LoginBody("admin", "Secret1");
    QVERIFY(other.Send(Post(body).chopped(body.size())));
    QTRY_COMPARE(site_->Waiting(), 1);
    QVERIFY(other.Send(body) && other.WaitClosed());
    QVERIFY(other.received.contains("Administrator Logged In"));
  }

  void sessionAndCredentials() {
    LogIn();
    QByteArray page =
        "<html><head><title>Orvane Light v.0.7 - Remote Login - View Log</title></head><H3>Last 10 "
        "Entries In Running Log: </h3><p>%1<br>Admin Command: View Log<br>***END OF LOG***<br><br>"
        "Press Your Browser's Back Button to Return<br><BR></p></html>";
    QCOMPARE(Console("View+Log=View+Log"), QByteArray(page).replace("%1", ""));
    // Of the last ten lines, the first nine, the last a stranger's, shown as text.
    for (char c = 'a'; c <= 's'; ++c) state_->desktop.AppendLog(QByteArray(1, c));
    state_->desktop.AppendLog("<\"&>");
    QCOMPARE(Console("View+Log=View+Log"),
             page.replace("%1", "<br>l<br>m<br>n<br>o<br>p<br>q<br>r<br>s<br>&lt;&quot;&amp;&gt;"));
    QVERIFY(Console("Logout=Logout").contains("Thank you for logging out."));
    QCOMPARE(Console("RefreshList=RefreshList"), LoggedOutPage());
    LogIn();
    site_->Restart();
    QCOMPARE(Console("RefreshList=RefreshList"), LoggedOutPage());  // listening, logged out
    // An empty name or password in the settings is never matched, and the site stays closed.
    state_->settings.AdminUserName.clear();
    QVERIFY(Fetch(Post(LoginBody("", "Secret1"))).contains("Login Failure"));
    std::swap(state_->settings.AdminUserName, state_->settings.AdminPassword);  // now no password
    QVERIFY(Fetch(Post(LoginBody("Secret1", ""))).contains("Login Failure"));
    site_->Restart();
    QCOMPARE(Fetch("GET / HTTP/1.0\r\n\r\n"), QByteArray());
  }

  void strangersAreRefused() {
    // From another address, with another token, or from a foreign page (with the owner's).
    Put("docs/victim.txt", "kept");
    LogIn();
    const QByteArray evil = "Origin: http://evil.example\r\n", other(32, '0');
    const QByteArray erase =
        "ADMINLOGIN=&Token=" + token_ + "&FILES+%21victim.txt=&EraseFiles=EraseFiles";
    const QByteArray upload = Body("victim.txt", "replaced"), head = Head(upload.size());
    const std::tuple<QByteArray, const char*, QByteArray> refused[] = {
        {Post(erase), "127.0.0.2", "Remote"},
        {Post(QByteArray(erase).replace(token_, other)), "127.0.0.1", "Remote"},
        {Post(erase, evil), "127.0.0.1", "Remote"},
        {head + upload, "127.0.0.2", "Upload"},
        {head + QByteArray(upload).replace(token_, other), "127.0.0.1", "Upload"},
        {head.chopped(2) + evil + "\r\n" + upload, "127.0.0.1", "Remote"}};
    for (const auto& [request, source, check] : refused) {
      QCOMPARE(Fetch(request, source), LoggedOutPage());
      QCOMPARE(Log().last(), "Invalid " + check + " IP! Hacker?: " + source);
    }
    QVERIFY(ReadWholeFile(app_ + "docs/victim.txt") == "kept" && Temporaries().isEmpty());
    QCOMPARE(Console("RefreshList=RefreshList"), ConsoleNow());  // still logged in
  }

  void listingAndErase() {
    for (auto name : {"docs/<i>!/p.gif", "docs/a.txt", "docs/nest/in/d.txt", "docs/README",
                      "outside.txt", "victim/file.txt"})
      Put(name);
    QCOMPARE(::symlink((app_ + "victim").constData(), (app_ + "docs/link").constData()), 0);
    state_->settings.RunningPort = 8080;  // links to the public site carry its port
    LogIn();
    QVERIFY(
        Console("RefreshList=RefreshList")
            .contains("<a href=\"http://127.0.0.1:8080/<i>!/\" target=\"_blank\">&lt;i&gt;!/ (DIR)"
                      "</a><input type=\"checkbox\"name=\"%3Ci%3E%21/\"></p>"));
    // The browser sends the names back with its own encoding over the page's.
    QVERIFY(Console("%253Ci%253E%2521%2F=on&a.txt=on&nest%2F=on&README%2F=on&Erase=Erase")
                .contains("<input type=\"hidden\" name=\"FILES !%3Ci%3E%21/!a.txt!nest/!README/"
                          "\" value><br><h3>Are you sure you want to delete these files??\?</h3>"
                          "<br>&lt;i&gt;!/<br>a.txt<br>nest/<br>README/<p>"));
    Console(
        "FILES+%21%253Ci%253E%2521%2F%21a.txt%21nest%2F%21README%2F%21sub%2F..%2F..%2Foutside.txt"
        "%21..%5Coutside.txt%21link%2Ffile.txt%21link%5Cfile.txt%21link%2F=&EraseFiles=EraseFiles");
    QCOMPARE(Log().mid(2),
             QByteArrayList({"Deleted: <i>!/", "Deleted: a.txt", "Deleted: nest/",
                             "Deleted: README/", "Admin Command: EraseFiles",
                             "Refused: sub/../../outside.txt", "Refused: ..\\outside.txt"}));
    for (auto gone : {"<i>!", "a.txt", "link"}) QVERIFY2(!PathExists(app_ + "docs/" + gone), gone);
    // Kept: a folder with a sub-folder, a file without a dot (taken for a folder), all outside.
    for (auto kept : {"docs/nest/in/d.txt", "docs/README", "outside.txt", "victim/file.txt"})
      QVERIFY2(PathExists(app_ + kept), kept);
    QVERIFY(shell_->calls.contains("Notify(Administrator logged in from 127.0.0.1)"));
    QTRY_VERIFY_WITH_TIMEOUT(shell_->calls.contains("Notify(3 files erased)"), 10000);  // merged
  }

  void connectionsThatHoldTheSite() {
    // Another address opens 40 connections, each announcing a form and then sending nothing
    // more: the owner is answered all the same, and only a few of them are kept waiting.
    const QByteArray form = "POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\nA";
    std::deque<RawClient> strangers;
    for (int i = 0; i < 40; ++i) QVERIFY(strangers.emplace_back(Port(), 0, "127.0.0.2").Send(form));
    LogIn();
    QVERIFY(site_->Waiting() <= Arrivals::kMaxPerAddress);
    // A request that gets no reply holds the site until its browser leaves...
    RawClient held(Port());
    QVERIFY(held.Send("HEAD / HTTP/1.0\r\n\r\n"));
    QTRY_VERIFY(site_->Serving());
    held.Close();
    QTRY_VERIFY(!site_->Serving());
    // ...or the idle limit is over, as one that sends nothing is held no longer.
    site_->SetIdleLimit(300);
    RawClient silent(Port()), again(Port());
    QVERIFY(again.Send("HEAD / HTTP/1.0\r\n\r\n"));
    QVERIFY(silent.WaitClosed(10000) && again.WaitClosed(10000));
  }
};

QTEST_GUILESS_MAIN(AdminTest)
#include "tst_admin.moc"
