#include "FolderScan.h"
#include "TestFiles.h"
#include "pathLogger.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

class WalkerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void walksBreadthFirst();
    void recordsKeysAndCounter_data();
    void recordsKeysAndCounter();
    void refusesSecondWalkWithoutInit();
    void missingFolderLogsNothing();
    void doesNotFollowFolderLinks();
    void skipsAndNamesUnreadableFolder();
    void stopsWhenAsked();
    void namesFilesItCannotHandle();
    void keepsMessageFileNames_data();
    void keepsMessageFileNames();
};

void WalkerTest::walksBreadthFirst()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    for (const char *file : {"r.emlx", "A/a.emlx", "A/A1/a1.emlx", "B/b.emlx"})
        QVERIFY(TestFiles::write(root + '/' + file, "x"));

    pathLogger walker;
    int yields = 0;
    walker.setYield([&yields] { ++yields; });
    walker.PathLogInit();
    QVERIFY(walker.LogPath(root));
    QCOMPARE(walker.fullFileNames().values(),
             QStringList({root + "/r.emlx", root + "/A/a.emlx", root + "/B/b.emlx", root + "/A/A1/a1.emlx"}));
    QCOMPARE(walker.pathNames().values(), QStringList({root + '/', root + "/A/", root + "/B/", root + "/A/A1/"}));
    QVERIFY(yields > 4);
}

void WalkerTest::recordsKeysAndCounter_data()
{
    QTest::addColumn<bool>("fullMode");
    QTest::newRow("full file names only") << false;
    QTest::newRow("full mode") << true;
}

void WalkerTest::recordsKeysAndCounter()
{
    QFETCH(bool, fullMode);
    QTemporaryDir dir;
    for (const char *file : {"1", "2", "3", "S/4", "S/5", "S/T/6", "U/7"})
        QVERIFY(TestFiles::write(dir.filePath(file), "x"));

    pathLogger walker;
    walker.PathLogInit();
    walker.fullFileNamesOnly = !fullMode;
    QVERIFY(walker.LogPath(dir.path()));
    QCOMPARE(walker.Count(), 8);
    QCOMPARE(walker.fullFileNames().count(), 7);
    for (int position = 1; position <= 7; ++position)
        QCOMPARE(walker.fullFileNames().key(position), QStringLiteral("K%1").arg(position));
    QCOMPARE(walker.pathNames().key(1), QStringLiteral("K0"));
    QCOMPARE(walker.pathNames().key(2), QStringLiteral("K2"));
    QCOMPARE(walker.pathNames().count(), 4);
    QCOMPARE(walker.fileNames().count(), fullMode ? 7 : 0);
    if (fullMode) {
        QCOMPARE(walker.fileNames().item(4), QStringLiteral("4"));
        // "4" lies in S, the second folder recorded.
        QCOMPARE(walker.pathNames().item(walker.pathPointers().item(4)), dir.path() + "/S/");
    }
    walker.Terminate();
    QCOMPARE(walker.fullFileNames().count(), 0);
}

void WalkerTest::refusesSecondWalkWithoutInit()
{
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("a.emlx"), "x"));
    pathLogger walker;
    walker.PathLogInit();
    QVERIFY(walker.LogPath(dir.path()));
    QVERIFY(!walker.LogPath(dir.path()));
    walker.PathLogInit();
    QVERIFY(walker.LogPath(dir.path()));
    QCOMPARE(walker.fullFileNames().count(), 1);
}

void WalkerTest::missingFolderLogsNothing()
{
    QTemporaryDir dir;
    pathLogger walker;
    walker.PathLogInit();
    QVERIFY(!walker.LogPath(dir.filePath("missing")));
    QCOMPARE(walker.Count(), 0);
    QCOMPARE(walker.pathNames().count(), 0);
    const FolderScanResult scan = scanForMessageFiles(dir.filePath("missing"));
    QVERIFY(!scan.folderExists);
    QVERIFY(scan.messageFiles.isEmpty());
}

void WalkerTest::doesNotFollowFolderLinks()
{
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("Box/1.emlx"), "x"));
    QVERIFY(TestFiles::write(dir.filePath("elsewhere/2.emlx"), "x"));
    QVERIFY(QFile::link(dir.path(), dir.filePath("Box/loop")));                      // back to the root
    QVERIFY(QFile::link(dir.filePath("Box/1.emlx"), dir.filePath("Box/link.emlx"))); // a link to a file

    const FolderScanResult scan = scanForMessageFiles(dir.filePath("Box"));
    QCOMPARE(scan.messageFiles, QStringList({dir.filePath("Box/1.emlx"), dir.filePath("Box/link.emlx")}));
}

void WalkerTest::skipsAndNamesUnreadableFolder()
{
    if (geteuid() == 0)
        QSKIP("runs as root: permission bits cannot refuse a listing");
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("open/1.emlx"), "x"));
    QVERIFY(TestFiles::write(dir.filePath("shut/2.emlx"), "x"));
    QFile::setPermissions(dir.filePath("shut"), QFileDevice::WriteOwner);
    const FolderScanResult scan = scanForMessageFiles(dir.path());
    QFile::setPermissions(dir.filePath("shut"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(scan.messageFiles, QStringList({dir.filePath("open/1.emlx")}));
    QCOMPARE(scan.unreadableFolders, QStringList({dir.filePath("shut/")}));
}

void WalkerTest::stopsWhenAsked()
{
    QTemporaryDir dir;
    for (int i = 0; i < 50; ++i)
        QVERIFY(TestFiles::write(dir.filePath(QStringLiteral("F%1/%2.emlx").arg(i % 5).arg(i)), "x"));
    int yields = 0;
    const FolderScanResult scan = scanForMessageFiles(
        dir.path(), [&yields] { ++yields; }, [&yields] { return yields >= 10; });
    QVERIFY(scan.stopped);
    QCOMPARE(yields, 10);
    QVERIFY(scan.messageFiles.size() < 10);
    const FolderScanResult whole = scanForMessageFiles(dir.path(), {}, [] { return false; });
    QVERIFY(!whole.stopped);
    QCOMPARE(whole.messageFiles.size(), 50);
}

void WalkerTest::namesFilesItCannotHandle()
{
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("Box/ok.emlx"), "x"));
    const QByteArray folder = QFile::encodeName(dir.filePath("Box/"));
    const QList<QByteArray> names{"caf\xe9.emlx", "\xff\xfe note.txt"};
    for (const QByteArray &name : names) {
        const int fd = ::open((folder + name).constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    const FolderScanResult scan = scanForMessageFiles(dir.path());
    for (const QByteArray &name : names) // Qt cannot name them, so it cannot remove them either
        ::unlink((folder + name).constData());
    QCOMPARE(scan.messageFiles, QStringList({dir.filePath("Box/ok.emlx")}));
    QCOMPARE(scan.unusableFileNames, QStringList({dir.filePath("Box/caf\\xE9.emlx")}));
    QCOMPARE(scan.problems().size(), 1);
    QVERIFY(scan.problems()[0].contains("not valid UTF-8"));
}

void WalkerTest::keepsMessageFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("kept");
    QTest::newRow("lower case") << "1.emlx" << true;
    QTest::newRow("upper case") << "A.EMLX" << true;
    QTest::newRow("mixed case") << "b.Emlx" << true;
    QTest::newRow("partial") << "3.partial.emlx" << true;
    QTest::newRow("eml") << "c.eml" << false;
    QTest::newRow("backup") << "d.emlx.bak" << false;
    QTest::newRow("bare emlx") << "emlx" << false;
    QTest::newRow("emlxpart") << "4.2.emlxpart" << false;
}

void WalkerTest::keepsMessageFileNames()
{
    QFETCH(QString, name);
    QFETCH(bool, kept);
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("Mail/" + name), "x"));
    const FolderScanResult scan = scanForMessageFiles(dir.path());
    QVERIFY(scan.folderExists);
    QCOMPARE(scan.messageFiles, kept ? QStringList({dir.filePath("Mail/" + name)}) : QStringList());
}

QTEST_GUILESS_MAIN(WalkerTest)
#include "tst_walker.moc"
