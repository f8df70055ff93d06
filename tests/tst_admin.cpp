// The administration site over real sockets: login, console commands, erase, the log, and the
// rules that keep strangers out.

#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include "sitefixture.h"
#include "util/text.h"

using namespace orvane;

class AdminTest : public SiteFixture {
  Q_OBJECT

 private Q_SLOTS:
  void init() { SetUp(); }
  void cleanup() { TearDown(); }

  void loginPage() {
    const QByteArray page = Fetch("GET /anything HTTP/1.1\r\nHost: h\r\n\r\n");
    QCOMPARE(page,
             "<html><head><Title>Orvane Light Remote Server Login</Title></Head><BR>Please "
             "Enter in your User Name and Password<BR><BR><BR><form method=\"POST\" "
             "action=\"http://" +
                 host_ + ":" + QByteArray::number(Port()) +
                 "\"><input type=\"hidden\" name=\"UserName\" value><p>User Name: <input "
                 "type=\"text\"name=\"UserName\" size=\"20\" maxlength=\"20\"> "
                 "</p><p>Password: <input type=\"password\" name=\"password\" size=\"20\" "
                 "maxlength=\"20\"> </p><p><input type=\"submit\" name=\"Request\" "
                 "value=\"Login\"> <input type=\"reset\"name=\"Clear\" value=\"Reset\"> "
                 "</p></form></html>");
    QCOMPARE(shell_->logLines, QByteArrayList({"Remote Admin Login Request 127.0.0.1"}));
    QCOMPARE(shell_->panels[4], QByteArray("Ready"));
  }

  void loginChecks() {
    const QByteArray failure =
        "<html><head><Title>Orvane Light - Login Failure</title></head><BR>Login Failure<BR>"
        "Please Press your browser's back button to try again<BR><BR>HACKERS BEWARE: YOU HAVE "
        "BEEN LOGGED AND TRACED: port ";
    QVERIFY(Fetch(Post(LoginBody("Admin", "Secret1"))).startsWith(failure));
    QVERIFY(Fetch(Post(LoginBody("admin", "secret1"))).endsWith(" 127.0.0.1<br></html>"));
    // The attempts are logged, the passwords never, nor their length.
    QCOMPARE(shell_->logLines, QByteArrayList({"Remote Login: User: Admin Pass: ********",
                                               "Remote Login: User: admin Pass: ********"}));
    // Fields are read by name, in any order.
    QVERIFY(Fetch(Post("UserName=admin&password=Secret1&Request=Login"))
                .contains("Administrator Logged In"));
    QCOMPARE(shell_->logLines.last(), QByteArray("Remote Login: User: admin Pass: ********"));
    QCOMPARE(state_->settings.AdminAllow, QByteArray("1"));
    // Guessing: five failures, then even the right password is refused for a while.
    for (int i = 0; i < 5; ++i) Fetch(Post(LoginBody("admin", "guess")));
    QVERIFY(Fetch(Post(LoginBody("admin", "Secret1"))).startsWith(failure));
    QCOMPARE(shell_->logLines.last(), QByteArray("Refused: too many failed logins: 127.0.0.1"));
    QVERIFY(Fetch(Post(LoginBody("admin", "Secret1"), {}), "127.0.0.2").contains("Logged In"));
  }

  void emptyCredentials() {
    state_->settings.AdminUserName.clear();
    QVERIFY(Fetch(Post(LoginBody("", "Secret1"))).contains("Login Failure"));
    state_->settings.AdminUserName = "admin";
    state_->settings.AdminPassword.clear();
    QVERIFY(Fetch(Post(LoginBody("admin", ""))).contains("Login Failure"));
    site_->Restart();  // and the site does not open again without them
    QCOMPARE(shell_->logLines.last(), NeedCredentialsText());
    QCOMPARE(shell_->panels[3], QByteArray("Remote=Offline"));
    QCOMPARE(Fetch("GET / HTTP/1.0\r\n\r\n"), QByteArray());
  }

  void consoleNeedsTheSession() {
    LogIn();
    // The token from another address, or the address without the token (another client behind
    // the same address): both refused.
    QCOMPARE(Console("RefreshList=RefreshList", "127.0.0.2"), LoggedOutPage());
    QCOMPARE(Fetch(Post("ADMINLOGIN=&RefreshList=RefreshList")), LoggedOutPage());
    QCOMPARE(Fetch(Post("ADMINLOGIN=&Token=" + QByteArray(32, '0') + "&View+Log=View+Log")),
             LoggedOutPage());
    QCOMPARE(shell_->logLines, QByteArrayList({"Invalid Remote IP! Hacker?: 127.0.0.2",
                                               "Invalid Remote IP! Hacker?: 127.0.0.1",
                                               "Invalid Remote IP! Hacker?: 127.0.0.1"}));
    QCOMPARE(Console("RefreshList=RefreshList"), ConsoleNow());
  }

  void foreignOriginIsRefused() {
    LogIn();
    const QByteArray site = "127.0.0.1:" + QByteArray::number(Port());
    auto logout = [&](const QByteArray& origin) {
      const QByteArray body = "ADMINLOGIN=&Token=" + token_ + "&Logout=Logout";
      return Fetch("POST / HTTP/1.1\r\nHost: " + site + "\r\nOrigin: " + origin +
                   "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    };
    QCOMPARE(logout("http://evil.example"), LoggedOutPage());
    QCOMPARE(logout("null"), LoggedOutPage());
    // This host on another port (the public site's pages) is another site.
    QCOMPARE(logout("http://127.0.0.1"), LoggedOutPage());
    QCOMPARE(logout("http://127.0.0.1:8080"), LoggedOutPage());
    QCOMPARE(shell_->logLines.size(), 4);
    QCOMPARE(Console("RefreshList=RefreshList"), ConsoleNow());  // still logged in
    QVERIFY(logout("http://" + site).contains("Thank you for logging out."));
    QCOMPARE(Console("RefreshList=RefreshList"), LoggedOutPage());  // the token has ended
  }

  void formInTwoBlocks() {
    RawClient client(Port());
    const QByteArray body = LoginBody("admin", "Secret1");
    QVERIFY(client.Send("POST / HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size()) +
                        "\r\n\r\n"));
    QTRY_COMPARE(site_->Waiting(), 1);  // the form is waited for before the site takes it
    QVERIFY(client.Send(body));
    QVERIFY(client.WaitClosed());
    QVERIFY(client.received.contains("Administrator Logged In"));
  }

  void bodyWithoutEqualsSign() {
    QCOMPARE(Fetch(Post("letters")), BrowserRefusalPage());
    QCOMPARE(shell_->panels[4], QByteArray("Busy"));
  }

  void commands() {
    LogIn();
    QCOMPARE(Console("Rename=Rename"), NoticePage());
    QCOMPARE(Console("ClearLog=ClearLog"), NoticePage());
    QCOMPARE(Console("RenameFiles=RenameFiles"), ServerErrorPage());
    QCOMPARE(Console("Nothing=Nothing"), ServerErrorPage());
    QCOMPARE(Console("Upload...=Upload..."), UploadFormPage(View()));
    QCOMPARE(shell_->logLines, QByteArrayList({"Admin Command: Rename", "Admin Command: Clear Log",
                                               "Admin Command: RenameFiles",
                                               "Admin Command: ", "Admin Command: PreUpload"}));
  }

  void selectCommand_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("view log") << QByteArray("ADMINLOGIN=&View+Log=View+Log")
                              << QByteArray("View Log");
    QTest::newRow("erase files beats erase")
        << QByteArray("ADMINLOGIN&FILES+%21a=&EraseFiles=EraseFiles") << QByteArray("EraseFiles");
    QTest::newRow("entry named Back")
        << QByteArray("ADMINLOGIN=&Backup.txt=on&Erase=Erase") << QByteArray("RefreshList");
    QTest::newRow("entry named Logout")
        << QByteArray("ADMINLOGIN=&Logout.txt=on&Erase=Erase") << QByteArray("Logout");
    QTest::newRow("refresh wins") << QByteArray("ADMINLOGIN=&Logout.txt=on&RefreshList=RefreshList")
                                  << QByteArray("RefreshList");
    QTest::newRow("none") << QByteArray("ADMINLOGIN=&x=y") << QByteArray();
  }
  void selectCommand() {
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, command);
    QCOMPARE(SelectCommand(body), command);
  }

  void viewLog() {
    LogIn();
    for (int i = 1; i <= 3; ++i) state_->desktop.AppendLog("line " + QByteArray::number(i));
    const QByteArray head =
        "<html><head><title>Orvane Light v.0.7 - Remote Login - View Log</title></head><H3>Last "
        "10 Entries In Running Log: </h3><p>";
    const QByteArray tail =
        "<br>***END OF LOG***<br><br>Press Your Browser's Back Button to Return<br><BR></p></html>";
    QCOMPARE(Console("View+Log=View+Log"),
             head + "<br>line 1<br>line 2<br>line 3<br>Admin Command: View Log" + tail);
    for (int i = 4; i <= 25; ++i) state_->desktop.AppendLog("line " + QByteArray::number(i));
    state_->desktop.AppendLog("<script>alert(\"&\")</script>");
    const QByteArray page = Console("View+Log=View+Log");
    QVERIFY(page.startsWith(head + "<br>line 18<br>line 19"));
    QVERIFY(
        page.endsWith("<br>line 25<br>&lt;script&gt;alert(&quot;&amp;&quot;)&lt;/script&gt;"
                      "<br>Admin Command: View Log" +
                      tail));
  }

  void listingAndErase() {
    Put("docs/a b.txt");
    Put("docs/c.txt");
    Put("docs/img/pic.gif");
    Put("docs/nest/inner/deep.txt");
    Put("docs/README");
    QVERIFY(MakeDir(app_ + "docs/empty"));
    Put("outside.txt");
    LogIn();
    const QByteArray console = Console("RefreshList=RefreshList");
    QVERIFY(console.contains("<a href=\"http://" + host_ +
                             "/img/\" target=\"_blank\">img/ (DIR)</a><input type=\"checkbox\""
                             "name=\"img/\"></p>"));
    QVERIFY(console.contains(">README/ (DIR)</a>"));
    // Confirmation: one log line per ticked entry.
    const QByteArray confirm =
        Console("a+b.txt=on&c.txt=on&img%2F=on&nest%2F=on&README%2F=on&Erase=Erase");
    QVERIFY(confirm.contains(
        "<input type=\"hidden\" name=\"FILES !a b.txt!c.txt!img/!nest/!README/\" value>"));
    QVERIFY(confirm.contains("</h3><br>a b.txt<br>c.txt<br>img/<br>nest/<br>README/<p>"));
    QCOMPARE(shell_->logLines[2], QByteArray("Deleted: a b.txt"));
    QCOMPARE(shell_->logLines[3], QByteArray("Deleted: c.txt"));
    // Deletion, with the names as the browser posts the hidden field.
    const QByteArray after = Console(
        "FILES+%21a+b.txt%21c.txt%21img%2F%21empty%2F%21nest%2F%21README%2F=&EraseFiles="
        "EraseFiles");
    QVERIFY(!PathExists(app_ + "docs/a b.txt"));
    QVERIFY(!PathExists(app_ + "docs/c.txt"));
    QVERIFY(!PathExists(app_ + "docs/img"));
    QVERIFY(!PathExists(app_ + "docs/empty"));
    QVERIFY(PathExists(app_ + "docs/nest/inner/deep.txt"));  // a folder with a sub-folder stays
    QVERIFY(PathExists(app_ + "docs/README"));  // a file without a dot is taken for a folder
    QVERIFY(!after.contains("c.txt"));
    QVERIFY(after.contains("nest/ (DIR)"));
    QVERIFY(PathExists(app_ + "outside.txt"));
  }

  void eraseDeletesExactlyWhatWasTicked() {
    // Each name goes from the listing through the confirmation as a browser sends the forms back
    // (its own form encoding over the page's), and only that file goes.
    const QByteArrayList names = {"R&D.txt", "say\"hi\".txt", "a+b %41.txt", "caf\xE9!.txt",
                                  "<b>.txt"};
    const QByteArrayList decoys = {"RD.txt", "say%22hi%22.txt", "a b A.txt", "caf.txt", "b.txt"};
    for (const QByteArray& name : names + decoys) Put("docs/" + name);
    LogIn();
    auto formEncoded = [](const QByteArray& field) {
      return field.toPercentEncoding("*-._", "", '%').replace("%20", "+");
    };
    const QByteArray listing = Console("RefreshList=RefreshList");
    QByteArray ticked;
    for (const QByteArray& name : names) {
      const QByteArray head = "<input type=\"checkbox\"name=\"";
      const qsizetype at = listing.indexOf(">" + EscapeHtml(name) + "</a>" + head);
      QVERIFY2(at >= 0, name.constData());
      const qsizetype from = at + EscapeHtml(name).size() + 5 + head.size();
      ticked += formEncoded(listing.mid(from, listing.indexOf('"', from) - from)) + "=on&";
    }
    const QByteArray confirm = Console(ticked + "Erase=Erase");
    const QByteArray field = "name=\"FILES ";
    const qsizetype at = confirm.indexOf(field) + field.size() - 6;
    const QByteArray files = confirm.mid(at, confirm.indexOf('"', at) - at);
    Console(formEncoded(files) + "=&EraseFiles=EraseFiles");
    for (const QByteArray& name : names) QVERIFY2(!PathExists(app_ + "docs/" + name), name);
    for (const QByteArray& name : decoys) QVERIFY2(PathExists(app_ + "docs/" + name), name);
  }

  void refusedEraseNames() {
    Put("outside.txt");
    Put("docs/sub/keep.txt");
    QVERIFY(MakeDir(app_ + "victim"));
    Put("victim/file.txt");
    QCOMPARE(::symlink((app_ + "victim").constData(), (app_ + "docs/link").constData()), 0);
    LogIn();
    Console(
        "FILES+%21..%2Foutside.txt%21sub%2F..%2F..%2Foutside.txt%21%2Fetc%2Fhostname"
        "%21..%5Coutside.txt%21link%2Ffile.txt%21link%5Cfile.txt%21link%2F=&EraseFiles=EraseFiles");
    QVERIFY(PathExists(app_ + "outside.txt"));
    QVERIFY(PathExists(app_ + "victim/file.txt"));  // the link goes, never what it leads to
    QVERIFY(!PathExists(app_ + "docs/link"));
    QVERIFY(PathExists(app_ + "docs/sub/keep.txt"));
    QCOMPARE(shell_->logLines.mid(1, 4),
             QByteArrayList({"Refused: ../outside.txt", "Refused: sub/../../outside.txt",
                             "Refused: /etc/hostname", "Refused: ..\\outside.txt"}));
  }

  void linksLeadWhereTheBrowserIs() {
    // Reached through another of this machine's addresses, every action and link carries it.
    Put("docs/p.html");
    RawClient client(Port(), 0, nullptr, "127.0.0.3");
    QVERIFY(client.Send("GET / HTTP/1.0\r\n\r\n"));
    QVERIFY(client.WaitClosed());
    QVERIFY(client.received.contains("action=\"http://127.0.0.3:" + QByteArray::number(Port())));
    state_->settings.RunningPort = 8080;  // links to the public site carry its port
    LogIn();
    QVERIFY(Console("RefreshList=RefreshList").contains("href=\"http://127.0.0.1:8080/p.html\""));
    QVERIFY(Console("Logout=Logout").contains("href=\"http://127.0.0.1:8080/index.html\""));
  }

  void oneConnectionAtATime() {
    // A request that gets no reply (HEAD, a lower-case method) holds the site until its
    // browser leaves; the next one is served then.
    for (const QByteArray& held :
         {QByteArray("HEAD / HTTP/1.0\r\n\r\n"), QByteArray("get / x\r\n\r\n")}) {
      RawClient first(Port());
      QVERIFY(first.Send(held));
      QTRY_VERIFY(site_->Serving());
      RawClient second(Port());
      QVERIFY(second.Send("GET / HTTP/1.0\r\n\r\n"));
      first.Close();
      QVERIFY(second.WaitClosed());
      QVERIFY(second.received.startsWith("<html><head><Title>Orvane Light Remote Server Login"));
      QVERIFY(first.received.isEmpty());
    }
    QCOMPARE(shell_->logLines, QByteArrayList(2, "Remote Admin Login Request 127.0.0.1"));
  }

  void idleConnectionIsClosed() {
    site_->SetIdleLimit(300);
    RawClient idle(Port());
    QVERIFY(idle.WaitClosed(10000));
    QVERIFY(Fetch("GET / HTTP/1.0\r\n\r\n").startsWith("<html>"));
  }

  void formsThatTrickleKeepNobodyOut() {
    // Another address opens 40 connections, each with whole header lines announcing a form and
    // then nothing: the owner's login page and login are answered all the same.
    std::vector<std::unique_ptr<RawClient>> strangers;
    for (int i = 0; i < 40; ++i) {
      strangers.push_back(std::make_unique<RawClient>(Port(), 0, "127.0.0.2"));
      QVERIFY(strangers.back()->Send("POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\nA"));
    }
    QVERIFY(Fetch("GET / HTTP/1.0\r\n\r\n").startsWith("<html>"));
    LogIn();
    // At most two of them still wait for the site.
    int open = 0;
    for (auto& stranger : strangers) open += stranger->Poll() ? 0 : 1;
    QVERIFY(open <= Arrivals::kMaxPerAddress);
  }

  void restartAdmin() {
    LogIn();
    site_->Restart();  // the login ends, and the site listens again
    QCOMPARE(shell_->logLines, QByteArrayList({"Admin Restart"}));
    QCOMPARE(shell_->panels[4], QByteArray("Ready"));
    QCOMPARE(shell_->panels[3], QByteArray("Remote=Online"));
    QCOMPARE(Console("RefreshList=RefreshList"), LoggedOutPage());
    LogIn();
    QCOMPARE(Console("RefreshList=RefreshList"), ConsoleNow());
    state_->settings.AdminPort = 70000;
    site_->Restart();
    QCOMPARE(shell_->panels[4], QByteArray("Closed: port 70000 is not between 1 and 65535"));
    QCOMPARE(shell_->panels[3], QByteArray("Remote=Offline"));
  }
};

QTEST_GUILESS_MAIN(AdminTest)
#include "tst_admin.moc"
