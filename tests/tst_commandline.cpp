#include "ChildProcess.h"
#include "TestFiles.h"
#include "cli/CommandLine.h"
#include "platform/PathHelpers.h"
#include <QDir>

#include <QTemporaryDir>
#include <QTest>

class CommandLineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("runs");
        QTest::addColumn<QString>("textHas");
        QTest::addColumn<int>("scheme");
        const int original = int(NamingScheme::Original);
        QTest::newRow("defaults") << QStringList{"-o", "out", "a.emlx"} << 0 << true << "" << original;
        QTest::newRow("long options") << QStringList{"--output=out", "--naming", "mdy-subject-sender", "a", "b"} << 0
                                      << true << "" << int(NamingScheme::MdySubjectSender);
        QTest::newRow("dry run needs no output")
            << QStringList{"--dry-run", "-n", "subject-date", "a"} << 0 << true << "" << int(NamingScheme::SubjectDate);
        QTest::newRow("dry run, NUL-separated")
            << QStringList{"--dry-run", "--null", "a"} << 0 << true << "" << original;
        QTest::newRow("NUL-separated without a dry run")
            << QStringList{"-o", "out", "--null", "a"} << 2 << false << "--null goes with --dry-run" << 0;
        QTest::newRow("help") << QStringList{"--help"} << 0 << false << "--naming" << 0;
        QTest::newRow("version") << QStringList{"--version"} << 0 << false << APP_VERSION << 0;
        QTest::newRow("unknown scheme") << QStringList{"-o", "out", "-n", "subject", "a"} << 2 << false
                                        << "unknown naming scheme 'subject'" << 0;
        QTest::newRow("no output") << QStringList{"a.emlx"} << 2 << false << "-o DIR" << 0;
        QTest::newRow("no sources") << QStringList{"-o", "out"} << 2 << false << "no SOURCE" << 0;
        QTest::newRow("unknown format") << QStringList{"-o", "out", "--format", "mh", "a"} << 2 << false
                                        << "unknown format 'mh'" << 0;
        QTest::newRow("mbox status without mbox")
            << QStringList{"-o", "out", "--format", "maildir", "--mbox-status", "a"} << 2 << false
            << "--mbox-status goes with --format mbox" << 0;
        QTest::newRow("unknown option") << QStringList{"-o", "out", "--fast", "a"} << 2 << false << "fast" << 0;
        for (const NamingSchemeRow &scheme : namingSchemes) {
            const QString name = scheme.name;
            QTest::newRow(qPrintable("named " + name))
                << QStringList{"-o", "out", "-n", name, "a"} << 0 << true << "" << int(scheme.scheme);
            QTest::newRow(qPrintable("help lists " + name))
                << QStringList{"--help"} << 0 << false << "  " + name + "  " << 0;
        }
    }
    void parses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, runs);
        QFETCH(QString, textHas);
        const ParsedCommandLine parsed = parseCommandLine(QStringList{"emlx2eml"} + arguments);
        QTEST(parsed.exitCode, "exitCode");
        QCOMPARE(parsed.request.has_value(), runs);
        QVERIFY2(parsed.text.contains(textHas), qPrintable(parsed.text));
        if (runs)
            QTEST(int(parsed.request->run.scheme), "scheme");
    }

    void runs_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("withBadSource");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("stderrHas");
        QTest::addColumn<int>("filesWritten");
        QTest::newRow("all converted") << QStringList{} << false << 0
                                       << QStringList{"2 converted, 0 failed, 1 warning, written below \"<DIR>/out\"\n"}
                                       << 2;
        QTest::newRow("update, nothing there yet") // the two messages and the record of what was written
            << QStringList{"--update"} << false << 0
            << QStringList{"2 converted, 0 failed, 1 warning, 0 already up to date, written below \"<DIR>/out\"\n"}
            << 3;
        QTest::newRow("quiet") << QStringList{"-q"} << false << 0 << QStringList() << 2;
        QTest::newRow("one failed") << QStringList{} << true << 1 << QStringList{"2 converted, 1 failed"} << 2;
        QTest::newRow("failure named even when quiet")
            << QStringList{"-q"} << true << 1 << QStringList{"broken.emlx"} << 2;
        QTest::newRow("one mbox file") << QStringList{"--format", "mbox", "--mbox-status"} << false << 0
                                       << QStringList{"2 converted"} << 1;
#ifdef Q_OS_WIN
        QTest::newRow("maildir refused") << QStringList{"--format", "maildir"} << false << 1
                                         << QStringList{"Windows takes no ':' in file names"} << 0;
#else
        QTest::newRow("maildir") << QStringList{"--format", "maildir"} << false << 0 << QStringList{"2 converted"} << 2;
#endif
        QTest::newRow("dry run") << QStringList{"--dry-run"} << false << 0 << QStringList{"2 would be converted"} << 0;
        // Relative to the working folder, where "blocker" is a file.
        QTest::newRow("destination cannot be made")
            << QStringList{"-o", "blocker/out"} << false << 1 << QStringList{"blocker/out"} << 0;
        // Outputs never land in a folder that holds sources: such a destination is refused whole.
        QTest::newRow("the root as destination")
            << QStringList{"-o", "<ROOT>"} << false << 1
            << QStringList{"the destination \"<ROOT>\" would put outputs beside the messages being converted, in "
                           "\"<DIR>/Mail\""}
            << 0;
        QTest::newRow("the root as destination of Maildirs")
            << QStringList{"-o", "<ROOT>", "--format", "maildir"} << false << 1
            << QStringList{"the destination \"<ROOT>\" would put outputs beside the messages being converted, in "
                           "\"<DIR>/Mail\""}
            << 0;
        QTest::newRow("the root as destination of mbox files")
            << QStringList{"-o", "<ROOT>", "--format", "mbox"} << false << 1
            << QStringList{"the destination \"<ROOT>\" would put outputs beside the messages being converted, in "
                           "\"<DIR>/Mail\""}
            << 0;
        QTest::newRow("a source folder as destination")
            << QStringList{"-o", "Mail"} << false << 1
            << QStringList{"the destination \"<DIR>/Mail\" would put outputs beside the messages being converted"}
            << 0;
#ifndef Q_OS_WIN // QFile::link makes a shortcut file there, not a link
        QTest::newRow("a link to nowhere as destination")
            << QStringList{"-o", "dangling"} << false << 1
            << QStringList{"\"<DIR>/dangling\" is a link whose target does not exist"} << 0;
#endif
        QTest::newRow("a file named, a missing source")
            << QStringList{"blocker", "missing"} << false << 1
            << QStringList{"\"missing\": no such file or folder", "3 converted, 1 failed"} << 3;
        // The walk's folder, another file, then a message of that folder again: found as repeated.
        QTest::newRow("a message named again after another folder")
            << QStringList{"blocker", "Mail/1.emlx"} << false << 0
            << QStringList{"3 converted, 0 failed", "1 listed more than once (written once)"} << 3;
        QTest::newRow("failures counted by reason")
            << QStringList{"missing", "gone"} << true << 1
            << QStringList{"failed by reason: 2 × gone, or a link that leads nowhere, 1 × holds no message"} << 2;
    }
    void runs()
    {
        QFETCH(QStringList, extra);
        QFETCH(bool, withBadSource);
        QFETCH(QStringList, stderrHas);
        QFETCH(int, filesWritten);
        QTemporaryDir dir;
        const QByteArray message = "Subject: Hi\nDate: Sat, 6 Aug 2011 10:00:00 +0200\n\nbody\n";
        QVERIFY(TestFiles::write(dir.filePath("Mail/1.emlx"), TestFiles::emlx(message)));
        QVERIFY(TestFiles::write(dir.filePath("Mail/2.emlx"), TestFiles::emlx(message, TestFiles::propertyList(), 5)));
        QVERIFY(!withBadSource || TestFiles::write(dir.filePath("Mail/broken.emlx"), {}));
        QVERIFY(TestFiles::write(dir.filePath("blocker"), "a file"));
        QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("dangling")));
        const int filesBefore = int(TestFiles::filesBelow(dir.path()).size());
        const QString root = dir.path().left(dir.path().indexOf(u'/') + 1); // "/", or the drive's "C:/"
        extra.replaceInStrings("<ROOT>", root);

        const ChildResult child = runChild(
            EMLX2EML_PATH, QStringList{"-n", "subject-date", "-o", dir.filePath("out"), dir.filePath("Mail")} + extra,
            30000, dir.path());
        QVERIFY(child.finished);
        const QString &err = child.errors;
        const QString out = QString::fromLocal8Bit(child.output);
        QTEST(child.exitCode, "exitCode");
        for (QString part : stderrHas)
            QVERIFY2(err.contains(QDir::toNativeSeparators(part.replace("<DIR>", dir.path()).replace("<ROOT>", root))), qPrintable(err));
        if (stderrHas.isEmpty())
            QCOMPARE(err, QString());

        const QString folder = QDir::toNativeSeparators(dir.filePath("out") + '/' + dropPathRoot(dir.filePath("Mail")));
        QCOMPARE(TestFiles::filesBelow(dir.filePath("out")).size(), filesWritten);
        QCOMPARE(TestFiles::filesBelow(dir.path()).size(), filesBefore + filesWritten); // nothing anywhere else
        if (extra.contains("--dry-run"))
            QCOMPARE(out, QDir::toNativeSeparators(dir.filePath("Mail/1.emlx")) + '\t' + folder +
                              QDir::toNativeSeparators("/Hi 06-08-2011.eml\n") +
                              QDir::toNativeSeparators(dir.filePath("Mail/2.emlx")) + '\t' + folder +
                              QDir::toNativeSeparators("/Hi 06-08-2011 (2).eml\n"));
    }

    // Tabs, line breaks and backslashes in names cannot be mistaken for the line's own.
    void dryRunLinesKeepNamesApart_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QByteArray>("expected"); // <SRC>: the source folder, <OUT>: its output folder
        QTest::newRow("escaped")
            << QStringList{}
            << QByteArray("<SRC>/t\\tab\\\\folder/line\\nbreak.emlx\t<OUT>/t\\tab\\\\folder/linebreak.eml\n");
        QTest::newRow("NUL-separated")
            << QStringList{"--null"}
            << QByteArray("<SRC>/t\tab\\folder/line\nbreak.emlx<NUL><OUT>/t\tab\\folder/linebreak.eml<NUL>");
    }
    void dryRunLinesKeepNamesApart()
    {
        QFETCH(QStringList, extra);
        QFETCH(QByteArray, expected);
#ifdef Q_OS_WIN
        QSKIP("Windows file names hold no tab or line break, and a backslash is the separator");
#endif
        QTemporaryDir dir;
        QVERIFY(TestFiles::write(dir.filePath("Mail/t\tab\\folder/line\nbreak.emlx"),
                                 TestFiles::emlx("Subject: x\n\nbody\n")));
        const ChildResult child = runChild(
            EMLX2EML_PATH, QStringList{"--dry-run", "-o", dir.filePath("out"), dir.filePath("Mail")} + extra, 30000);
        QVERIFY(child.finished);
        QCOMPARE(child.exitCode, 0);
        expected.replace("<SRC>", QFile::encodeName(dir.filePath("Mail")))
            .replace("<OUT>", QFile::encodeName(dir.filePath("out") + dir.filePath("Mail")))
            .replace("<NUL>", QByteArray(1, '\0'));
        QCOMPARE(child.output, expected);
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
