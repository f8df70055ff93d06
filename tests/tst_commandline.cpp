#include <sys/stat.h>

#include <QTemporaryDir>
#include <QTest>

#include "app/commandline.h"
#include "app/programfolder.h"
#include "util/files.h"

using namespace orvane;

class CommandLineTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void startUpSwitch_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("argument");  // the whole text beyond the options
    QTest::newRow("after options")
        << QStringList{"--headless", "--app-dir", "x", "/r"} << QByteArray("/r");
    QTest::newRow("among other words") << QStringList{"/r", "now"} << QByteArray("/r now");
  }
  void startUpSwitch() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, argument);
    QCOMPARE(orvane::ParseCommandLine(arguments).argument, argument);
  }

  void programFolder_data() {
    QTest::addColumn<QByteArrayList>("place");  // --app-dir, own folder usable, XDG, HOME, chosen
    for (const char* row : {"/srv/site||/d|/h|/srv/site/", "|own|/d|/h|/opt/ol/",
                            "|||/h/|/h/.local/share/orvane-light/", "||/d/|/h|/d/orvane-light/",
                            "||data|/h|/h/.local/share/orvane-light/", "||||"})
      QTest::newRow(row) << QByteArray(row).split('|');
  }
  void programFolder() {
    QFETCH(QByteArrayList, place);
    QCOMPARE(ChooseProgramFolder({place[0], "/opt/ol", place[1] == "own", place[2], place[3]}),
             place[4]);
  }

  void installedProgramFolder() {
    // A writable folder is the program's own, unless it is an installed program's, even root's.
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    QVERIFY(MakeDir(root + "/bin") && ExecutableDirIsOwn(root + "/bin"));
    QVERIFY(MakeDir(root + "/share") && MakeDir(root + "/share/orvane-light"));
    QVERIFY(!ExecutableDirIsOwn(root + "/bin"));
    QCOMPARE(SampleSiteFor(root + "/bin"), root + "/share/orvane-light/");
    // A read-only copy of a program folder is the sample of its own data folder.
    QVERIFY(MakeDir(root + "/bin/docs"));
    QCOMPARE(SampleSiteFor(root + "/bin"), root + "/bin/");
  }

  void sampleFill() {
    // The first start copies the sample, making the folders above private; later starts keep
    // what the owner changed.
    QTemporaryDir dir;
    const QByteArray sample = QFile::encodeName(dir.path()) + "/sample/";
    const QByteArray folder = QFile::encodeName(dir.path()) + "/home/.local/share/ol/";
    QVERIFY(MakeDir(sample) && MakeDir(sample + "docs") &&
            WriteFileAtomically(sample + "docs/index.html", "hello") &&
            WriteFileAtomically(sample + "server.cfg", "[Server]\n") &&
            WriteFileAtomically(sample + "orvane-light", "not part of a site"));
    QByteArray error;
    QVERIFY(FillFromSample(folder, sample, error));
    QCOMPARE(ReadWholeFile(folder + "docs/index.html").value_or(""), "hello");
    QVERIFY(!PathExists(folder + "orvane-light") && !PathExists(folder + ".first-start"));
    struct stat made;
    QVERIFY(::stat((folder + "..").constData(), &made) == 0 && (made.st_mode & 0777) == 0700);
    QVERIFY(WriteFileAtomically(folder + "docs/index.html", "mine") &&
            RemoveFile(folder + "server.cfg"));
    QVERIFY(FillFromSample(folder, sample, error));
    QCOMPARE(ReadWholeFile(folder + "docs/index.html").value_or(""), "mine");
    QVERIFY(!PathExists(folder + "server.cfg"));
    // A first start cut short goes on next time, replacing nothing.
    QVERIFY(WriteFileAtomically(folder + ".first-start", {}) &&
            FillFromSample(folder, sample, error));
    QVERIFY(FileExists(folder + "server.cfg") && !PathExists(folder + ".first-start"));
    QCOMPARE(ReadWholeFile(folder + "docs/index.html").value_or(""), "mine");
    // A service's state folder is made, empty, before the first start.
    QVERIFY(MakeDir(folder + "../state") && FillFromSample(folder + "../state/", sample, error));
    QVERIFY(FileExists(folder + "../state/docs/index.html"));
    // No sample (an uninstalled program in a folder it cannot write): the folder alone.
    QVERIFY(FillFromSample(folder + "other/", sample + "none/", error) &&
            DirExists(folder + "other"));
    QVERIFY(error.isEmpty());
  }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
