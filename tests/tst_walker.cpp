#include "TestFiles.h"
#include "list/FolderScan.h"
#include "list/pathLogger.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class WalkerTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keepsMessageFilesBreadthFirst_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::newRow("one job") << 1;
        QTest::newRow("three jobs listing ahead") << 3;
    }

    // The .emlx files in any letter case, breadth first: the root's files, then each folder's in
    // name order, the message numbers taken as numbers (the order the mail client keeps).
    void keepsMessageFilesBreadthFirst()
    {
        QFETCH(int, jobs);
        QTemporaryDir dir;
        for (const char *file : {"r.emlx", "c.eml", "emlx", "A/a.EMLX", "A/d.emlx.bak", "A/A1/a1.partial.emlx",
                                 "B/b.Emlx", "B/4.2.emlxpart", "B/10.emlx", "B/2.emlx", "B/1.emlx", "B/002.emlx"})
            QVERIFY(TestFiles::write(dir.filePath(file), "x"));
        QVERIFY(!scanForMessageFiles(dir.filePath("missing"), {}, {}, {}, {}, jobs).folderExists);
        const FolderScanResult scan = scanForMessageFiles(dir.path(), {}, {}, {}, {}, jobs);
        QVERIFY(scan.folderExists);
        QCOMPARE(scan.messageFiles,
                 QStringList({dir.filePath("r.emlx"), dir.filePath("A/a.EMLX"), dir.filePath("B/1.emlx"),
                              dir.filePath("B/002.emlx"), dir.filePath("B/2.emlx"), dir.filePath("B/10.emlx"),
                              dir.filePath("B/b.Emlx"), dir.filePath("A/A1/a1.partial.emlx")}));
        // More folders than are listed ahead at a time: still the walk's own order.
        for (int i = 0; i < 1200; ++i)
            QVERIFY(TestFiles::write(dir.filePath(QStringLiteral("C/%1/%2/%3.emlx").arg(i % 600).arg(i % 2).arg(i)), "x"));
        const QStringList expected = scanForMessageFiles(dir.path()).messageFiles;
        QCOMPARE(expected.size(), 1208);
        QCOMPARE(scanForMessageFiles(dir.path(), {}, {}, {}, {}, jobs).messageFiles, expected);
    }

    void recordsKeysAndCounter()
    {
        QTemporaryDir dir;
        const QString root = dir.path() + '/';
        for (const char *file : {"1", "2", "3", "S/4", "S/5", "S/T/6", "U/7"})
            QVERIFY(TestFiles::write(root + file, "x"));
        pathLogger walker;
        walker.PathLogInit();
        QVERIFY(!walker.LogPath(dir.filePath("missing"))); // logs nothing and spoils nothing
        QCOMPARE(walker.Count(), 0);
        QCOMPARE(walker.pathNames().count(), 0);
        walker.fullFileNamesOnly = false;
        QVERIFY(walker.LogPath(dir.path()));
        QCOMPARE(walker.Count(), 8);
        QCOMPARE(walker.pathNames().values(), QStringList({root, root + "S/", root + "U/", root + "S/T/"}));
        QCOMPARE(walker.pathNames().key(1), QStringLiteral("K0"));
        QCOMPARE(walker.pathNames().key(2), QStringLiteral("K2"));
        QCOMPARE(walker.fullFileNames().values(), QStringList({root + "1", root + "2", root + "3", root + "S/4",
                                                               root + "S/5", root + "U/7", root + "S/T/6"}));
        for (int position = 1; position <= 7; ++position)
            QCOMPARE(walker.fullFileNames().key(position), QStringLiteral("K%1").arg(position));
        QCOMPARE(walker.fileNames().count(), 7);
        QCOMPARE(walker.fileNames().item(4), QStringLiteral("4"));
        QCOMPARE(walker.pathNames().item(walker.pathPointers().item(4)), root + "S/"); // the second folder
        QVERIFY(!walker.LogPath(dir.path())); // the keys stay taken until the next PathLogInit
        walker.PathLogInit();                 // which records full file names only
        QVERIFY(walker.LogPath(dir.path()));
        QCOMPARE(walker.fullFileNames().count(), 7);
        QCOMPARE(walker.fileNames().count(), 0);
        walker.Terminate();
        QCOMPARE(walker.fullFileNames().count(), 0);
    }

    // Links to regular files are followed; links to folders, pipes and links to pipes are named, never listed.
    void listsOnlyRegularFilesAndNamesTheRest()
    {
#ifdef Q_OS_WIN
        QSKIP(TestFiles::noSymbolicLinks);
#endif
        QTemporaryDir dir;
        QVERIFY(TestFiles::write(dir.filePath("Box/1.emlx"), "x"));
        QVERIFY(TestFiles::write(dir.filePath("elsewhere/2.emlx"), "x"));
        QVERIFY(QFile::link(dir.path(), dir.filePath("Box/loop")));                      // back to the root
        QVERIFY(QFile::link(dir.filePath("Box/1.emlx"), dir.filePath("Box/link.emlx"))); // a link to a file
        QVERIFY(TestFiles::makeNamedPipe(dir.filePath("Box/pipe.emlx")));
        QVERIFY(QFile::link(dir.filePath("Box/pipe.emlx"), dir.filePath("Box/to pipe.emlx")));
        const FolderScanResult scan = scanForMessageFiles(dir.filePath("Box"));
        QCOMPARE(scan.messageFiles, QStringList({dir.filePath("Box/1.emlx"), dir.filePath("Box/link.emlx")}));
        const QString pipeKind = TestFiles::specialKind("a named pipe");
        QCOMPARE(scan.problems(),
                 QStringList({'"' + dir.filePath("Box/pipe.emlx") + "\" is not a regular file (" + pipeKind + ')',
                              '"' + dir.filePath("Box/to pipe.emlx") + "\" is not a regular file (" + pipeKind + ')',
                              '"' + dir.filePath("Box/loop") + "\" is a link to a folder; not followed"}));
    }

    void skipsAndNamesUnreadableFolder()
    {
        if (const char *reason = TestFiles::whyPermissionsRefuseNothing())
            QSKIP(reason);
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

    void stopsWhenAsked()
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

    void namesFilesItCannotHandle()
    {
#ifdef Q_OS_WIN
        QSKIP(TestFiles::namesAreUtf16);
#else
        QTemporaryDir dir;
        QVERIFY(TestFiles::write(dir.filePath("Box/ok.emlx"), "x"));
        const TestFiles::RawNamedFile message(dir.filePath("Box"), "caf\xe9.emlx");
        const TestFiles::RawNamedFile other(dir.filePath("Box"), "\xff\xfe note.txt");
        QVERIFY(message.made && other.made);
        // A folder Qt cannot enter: its messages, at any depth, are counted.
        const QByteArray folder = QFile::encodeName(dir.filePath("Box")) + "/Ordner \xe4";
        QCOMPARE(::mkdir(folder.constData(), 0700), 0);
        QTemporaryDir elsewhere; // a link to it is not followed
        QVERIFY(TestFiles::write(elsewhere.filePath("9.emlx"), "x"));
        QCOMPARE(::symlink(QFile::encodeName(elsewhere.path()).constData(), (folder + "/link").constData()), 0);
        const QByteArray sub = folder + "/Sub";
        QCOMPARE(::mkdir(sub.constData(), 0700), 0);
        for (const char *file : {"/1.emlx", "/Sub/2.EMLX", "/Sub/3.txt"})
            QCOMPARE(::close(::open((folder + file).constData(), O_CREAT | O_WRONLY, 0600)), 0);
        const FolderScanResult scan = scanForMessageFiles(dir.path());
        for (const char *file : {"/Sub/2.EMLX", "/Sub/3.txt", "/1.emlx", "/link"})
            ::unlink((folder + file).constData());
        ::rmdir(sub.constData());
        ::rmdir(folder.constData());
        QCOMPARE(scan.messageFiles, QStringList({dir.filePath("Box/ok.emlx")}));
        QCOMPARE(scan.unusableFileNames, QStringList({dir.filePath("Box/caf\\xE9.emlx")}));
        QCOMPARE(scan.problems().size(), 2);
        QVERIFY(scan.problems()[0].contains("not valid UTF-8"));
        QCOMPARE(scan.problems()[1], "folder \"" + dir.filePath("Box/Ordner \\xE4/") +
                                         "\" holds 2 .emlx files that cannot be converted: the folder's name is not "
                                         "valid UTF-8; rename it and add it again");
#endif
    }
};

QTEST_GUILESS_MAIN(WalkerTest)
#include "tst_walker.moc"
