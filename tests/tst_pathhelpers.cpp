#include "platform/AtomicWriter.h"
#include "platform/DestinationFolder.h"
#include "platform/InFlightFiles.h"
#include "platform/MessageNote.h"
#include "platform/PathHelpers.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>

Q_DECLARE_METATYPE(ByteRange)

class PathHelpersTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ::umask(027); }

    void splitsAndMirrorsPaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mirrored"); // the folder without its root
        auto row = [](const char *name, const char *path, const char *folder, const char *file, const char *mirrored) {
            QTest::newRow(name) << QString(path) << QString(folder) << QString(file) << QString(mirrored);
        };
        row("drive path", "C:/Mail/Inbox/1.emlx", "C:/Mail/Inbox/", "1.emlx", "Mail/Inbox/");
        row("drive root", "C:/1.emlx", "C:/", "1.emlx", "");
        row("bare name", "1.emlx", "", "1.emlx", "");
        row("folder only, relative", "Mail/", "Mail/", "", "Mail/");
        row("network path", "//server/share/1.emlx", "//server/share/", "1.emlx", "server/share/");
        row("doubled separator", "C:/a//b.emlx", "C:/a//", "b.emlx", "a//");
        row("unix root", "/1.emlx", "/", "1.emlx", "");
        row("unix path, non-ASCII", "/home/ann/Почта/ü.emlx", "/home/ann/Почта/", "ü.emlx", "home/ann/Почта/");
    }
    void splitsAndMirrorsPaths()
    {
        QFETCH(QString, path);
        QTEST(GetFolderPart(path), "folder");
        QTEST(GetFileNamePart(path), "name");
        QTEST(dropPathRoot(GetFolderPart(path)), "mirrored");
    }

    void tellsWhatLiesBelow_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("below");
        QTest::newRow("inside") << "/out/a/1.eml"
                                << "/out/" << true;
        QTest::newRow("climbing back in") << "/out/a/../b/1.eml"
                                          << "/out" << true;
        QTest::newRow("climbing out") << "/out/a/../../etc/x"
                                      << "/out" << false;
        QTest::newRow("sibling of the same beginning") << "/output/1.eml"
                                                       << "/out" << false;
        QTest::newRow("the folder itself") << "/out/a/.."
                                           << "/out/" << false;
        QTest::newRow("below the root") << "/1.eml"
                                        << "/" << true;
    }
    void tellsWhatLiesBelow()
    {
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QTEST(liesBelow(path, folder), "below");
    }

    // The portable flush, which the run falls back to where one flush per file system is not offered.
    void flushesEachFile()
    {
        QTemporaryDir dir;
        QVERIFY(TestFiles::write(dir.filePath("a.eml"), "a") && TestFiles::write(dir.filePath("b.eml"), "b"));
        QVERIFY(flushEachFile({dir.filePath("a.eml"), dir.filePath("b.eml")}).ok);
        const FileResult missing = flushEachFile({dir.filePath("a.eml"), dir.filePath("gone.eml")});
        QVERIFY(!missing.ok);
        QVERIFY2(missing.error.contains("gone.eml"), qPrintable(missing.error));
    }

    void createsFolders_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("without trailing slash") << "Out/Mail";
        QTest::newRow("deep, non-ASCII, trailing slash") << "Out/Über/中文/x/";
    }
    void createsFolders()
    {
        QFETCH(QString, folder);
        QTemporaryDir dir;
        const QString path = dir.filePath(folder);
        QVERIFY(EnsureFolderExists(path).ok);
        QVERIFY(QFileInfo(path).isDir());
        QVERIFY(EnsureFolderExists(path).ok); // again: nothing to do, still true
    }

    void copies_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<bool>("failIfExists");
        QTest::addColumn<bool>("sourceExists");
        QTest::addColumn<ByteRange>("range");
        QTest::addColumn<QByteArray>("targetAfter");
        const QByteArray whole = "12\nHello world\n<?xml";
        QTest::newRow("new target") << false << false << true << ByteRange() << whole;
        QTest::newRow("replace existing") << true << false << true << ByteRange() << whole;
        QTest::newRow("byte range") << false << false << true << ByteRange{3, 12} << QByteArray("Hello world\n");
        QTest::newRow("keep existing when asked") << true << true << true << ByteRange() << QByteArray("old");
        QTest::newRow("missing source keeps existing") << true << false << false << ByteRange() << QByteArray("old");
    }
    void copies()
    {
        QFETCH(bool, targetExists);
        QFETCH(bool, failIfExists);
        QFETCH(bool, sourceExists);
        QFETCH(ByteRange, range);
        QFETCH(QByteArray, targetAfter);
        QTemporaryDir dir;
        const QString source = dir.filePath("in/ä.emlx");
        const QString target = dir.filePath("out/ä.eml");
        // Nanoseconds that a copy in milliseconds would lose; every permission, the umask narrows them.
        const TestFiles::FileTime stamp{QDateTime::currentSecsSinceEpoch() - 400 * 86400, 123456789};
        QVERIFY(QDir().mkpath(dir.filePath("out")));
        QVERIFY(!sourceExists || (TestFiles::write(source, "12\nHello world\n<?xml") &&
                                  TestFiles::setModifiedTime(source, stamp) &&
                                  ::chmod(QFile::encodeName(source).constData(), 0777) == 0));
        QVERIFY(!targetExists || TestFiles::write(target, "old"));

        const FileResult result = CopyMessageFile(source, target, failIfExists, range);
        QCOMPARE(result.ok, targetAfter != "old"); // it fails where the old target stays
        QCOMPARE(result.error.isEmpty(), result.ok);
        QCOMPARE(TestFiles::read(target), targetAfter);
        QCOMPARE(TestFiles::filesBelow(dir.filePath("out")), QStringList{target}); // nothing else left
        if (result.ok) {
            const TestFiles::FileTime written = TestFiles::modifiedTime(target);
            QCOMPARE(written.seconds, stamp.seconds);
            QCOMPARE(written.nanoseconds, TestFiles::asKept(stamp).nanoseconds);
#ifdef Q_OS_UNIX // Windows files have no permission bits
            struct stat status {
            };
            QCOMPARE(::stat(QFile::encodeName(target).constData(), &status), 0);
            QCOMPARE(status.st_mode & 0777, 0750u);
#endif
        }
    }

    // A range longer than one step of the kernel's copy, into the same file system and into another
    // (where the kernel refuses and the copy goes through a buffer): every byte in its place.
    void copiesLongRangesInSteps_data()
    {
        QTest::addColumn<QString>("otherFileSystem"); // empty: beside the source
        QTest::newRow("same file system") << QString();
        QTest::newRow("another file system") << QStringLiteral("/dev/shm");
    }
    void copiesLongRangesInSteps()
    {
        QFETCH(QString, otherFileSystem);
        QTemporaryDir dir;
        std::optional<QTemporaryDir> other;
        if (!otherFileSystem.isEmpty()) {
            struct stat here = {}, there = {};
            if (::stat(QFile::encodeName(otherFileSystem).constData(), &there) != 0 ||
                ::stat(QFile::encodeName(dir.path()).constData(), &here) != 0 || here.st_dev == there.st_dev)
                QSKIP("no second file system here");
            other.emplace(otherFileSystem + "/tst_pathhelpers-XXXXXX");
        }
        QByteArray bytes(qsizetype(17) << 20, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char((i * 7 + i / 4093) & 0xff);
        const QString source = dir.filePath("ü.emlx");
        const QString target = (other ? other->path() : dir.path()) + "/ü.eml";
        QVERIFY(TestFiles::write(source, bytes));
        int steps = 0;
        const FileResult result = CopyMessageFile(source, target, false, {5, bytes.size() - 9}, [&steps] {
            ++steps;
            return true;
        });
        QVERIFY2(result.ok, qPrintable(result.error));
        QVERIFY(TestFiles::read(target) == bytes.mid(5, bytes.size() - 9));
        QVERIFY(steps > 1); // a stop is looked at between steps
    }

    // What a second Ctrl+C removes: named temporary files still being written, and only those;
    // an unnamed one is not given a name (it would outlive a kill).
    void removesInFlightFilesAtOnce()
    {
        QTemporaryDir dir;
        QTemporaryFile named(dir.filePath("named-XXXXXX")), done(dir.filePath("done-XXXXXX")),
            unnamed(dir.filePath("unnamed-XXXXXX"));
        QVERIFY(named.open() && done.open() && unnamed.open());
        const QString namedPath = named.fileName(), donePath = done.fileName(); // asking for the name makes one
        std::optional<InFlightFile> finished(done);
        const InFlightFile writing(named);
        finished.reset();
        struct stat before = {};
        struct stat after = {};
        QCOMPARE(::fstat(unnamed.handle(), &before), 0); // no links where the file system has unnamed files
        const InFlightFile writingUnnamed(unnamed);
        QCOMPARE(::fstat(unnamed.handle(), &after), 0);
        QCOMPARE(after.st_nlink, before.st_nlink);

        removeInFlightFiles();
#ifdef Q_OS_WIN
        QSKIP("Windows removes no file that is open without delete sharing, as a QTemporaryFile is; "
              "the next run into the folder removes it");
#endif
        QVERIFY(!QFileInfo::exists(namedPath));
        QVERIFY(QFileInfo::exists(donePath));
    }

    // A note holds its source once; the line names it where the sentence did, or in front.
    void notesNameTheirSourceOnce_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("sentence");
        QTest::addColumn<QString>("line");
        QTest::newRow("named inside") << "/m/1.emlx" << "source file \"/m/1.emlx\" is gone"
                                      << "source file \"/m/1.emlx\" is gone";
        QTest::newRow("another file only")
            << "/m/1.partial.emlx" << "skipped: its full copy \"/m/1.emlx\" is converted in this run"
            << "\"/m/1.partial.emlx\": skipped: its full copy \"/m/1.emlx\" is converted in this run";
        QTest::newRow("a path below the source")
            << "/out" << "cannot make sure that \"/out/a.eml\" is on the disk: I/O error"
            << "\"/out\": cannot make sure that \"/out/a.eml\" is on the disk: I/O error";
        QTest::newRow("percent signs in the paths") << "/m/100%1.emlx"
                                                    << "cannot open \"/m/100%1.emlx\": \"/x/%2\" is in the way"
                                                    << "cannot open \"/m/100%1.emlx\": \"/x/%2\" is in the way";
    }
    void notesNameTheirSourceOnce()
    {
        QFETCH(QString, source);
        QFETCH(QString, sentence);
        QFETCH(QString, line);
        // The program's sentences quote paths as quotedPath does: with the system's separators.
        const MessageNote note = MessageNote::about(source, NoteReason::CannotRead, QDir::toNativeSeparators(sentence));
        QVERIFY(!note.text.contains(quotedPath(source)));
        QCOMPARE(noteLine(note), QDir::toNativeSeparators(line));
    }
};

QTEST_GUILESS_MAIN(PathHelpersTest)
#include "tst_pathhelpers.moc"
