#include "CommandLine.h"
#include "TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class CommandLineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parses_data();
    void parses();
    void gathersFilesAndFolders();
    void runs_data();
    void runs();
};

void CommandLineTest::parses_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("runs");
    QTest::addColumn<QString>("textHas");
    QTest::addColumn<int>("scheme");
    QTest::newRow("defaults") << QStringList{"-o", "out", "a.emlx"} << 0 << true << "" << int(NamingScheme::Original);
    QTest::newRow("long options") << QStringList{"--output=out", "--naming", "mdy-subject-sender", "a", "b"} << 0
                                  << true << "" << int(NamingScheme::MdySubjectSender);
    QTest::newRow("dry run needs no output")
        << QStringList{"--dry-run", "-n", "subject-date", "a"} << 0 << true << "" << int(NamingScheme::SubjectDate);
    QTest::newRow("help") << QStringList{"--help"} << 0 << false << "--naming" << 0;
    QTest::newRow("version") << QStringList{"--version"} << 0 << false << APP_VERSION << 0;
    QTest::newRow("unknown scheme") << QStringList{"-o", "out", "-n", "subject", "a"} << 2 << false
                                    << "unknown naming scheme 'subject'" << 0;
    QTest::newRow("no output") << QStringList{"a.emlx"} << 2 << false << "-o DIR" << 0;
    QTest::newRow("no sources") << QStringList{"-o", "out"} << 2 << false << "no SOURCE" << 0;
    QTest::newRow("unknown option") << QStringList{"-o", "out", "--fast", "a"} << 2 << false << "fast" << 0;
}

void CommandLineTest::parses()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(bool, runs);
    QFETCH(QString, textHas);
    QFETCH(int, scheme);
    const ParsedCommandLine parsed = parseCommandLine(QStringList{"emlx2eml"} + arguments);
    QCOMPARE(parsed.exitCode, exitCode);
    QCOMPARE(parsed.request.has_value(), runs);
    QVERIFY2(parsed.text.contains(textHas), qPrintable(parsed.text));
    if (runs)
        QCOMPARE(int(parsed.request->scheme), scheme);
}

void CommandLineTest::gathersFilesAndFolders()
{
    QTemporaryDir dir;
    QVERIFY(TestFiles::write(dir.filePath("tree/1.emlx"), "x"));
    QVERIFY(TestFiles::write(dir.filePath("tree/sub/2.EMLX"), "x"));
    QVERIFY(TestFiles::write(dir.filePath("tree/notes.txt"), "x"));
    QVERIFY(TestFiles::write(dir.filePath("single.txt"), "x"));
    const GatheredSources gathered =
        gatherSources({dir.filePath("tree"), dir.filePath("single.txt"), dir.filePath("missing")});
    QCOMPARE(gathered.messageFiles,
             QStringList({dir.filePath("tree/1.emlx"), dir.filePath("tree/sub/2.EMLX"), dir.filePath("single.txt")}));
    QCOMPARE(gathered.problems.size(), 1);
    QVERIFY(gathered.problems[0].text.contains("missing"));
}

void CommandLineTest::runs_data()
{
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<bool>("withBadSource");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stderrHas");
    QTest::addColumn<int>("filesWritten");
    QTest::newRow("all converted") << QStringList{} << false << 0 << "2 converted, 0 failed, 0 warnings" << 2;
    QTest::newRow("quiet") << QStringList{"-q"} << false << 0 << "" << 2;
    QTest::newRow("one failed") << QStringList{} << true << 1 << "2 converted, 1 failed" << 2;
    QTest::newRow("failure named even when quiet") << QStringList{"-q"} << true << 1 << "broken.emlx" << 2;
    QTest::newRow("dry run") << QStringList{"--dry-run"} << false << 0 << "2 converted" << 0;
}

void CommandLineTest::runs()
{
    QFETCH(QStringList, extra);
    QFETCH(bool, withBadSource);
    QFETCH(int, exitCode);
    QFETCH(QString, stderrHas);
    QFETCH(int, filesWritten);
    QTemporaryDir dir;
    const QByteArray message = "Subject: Hi\nDate: Sat, 6 Aug 2011 10:00:00 +0200\n\nbody\n";
    QVERIFY(TestFiles::write(dir.filePath("Mail/1.emlx"), TestFiles::emlx(message)));
    QVERIFY(TestFiles::write(dir.filePath("Mail/2.emlx"), TestFiles::emlx(message)));
    if (withBadSource)
        QVERIFY(TestFiles::write(dir.filePath("Mail/broken.emlx"), {}));

    QProcess process;
    process.start(EMLX2EML_PATH,
                  QStringList{"-n", "subject-date", "-o", dir.filePath("out"), dir.filePath("Mail")} + extra);
    QVERIFY(process.waitForFinished(30000));
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2(err.contains(stderrHas), qPrintable(err));
    if (stderrHas.isEmpty())
        QCOMPARE(err, QString());

    const QString folder = dir.filePath("out") + dir.filePath("Mail");
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), filesWritten);
    if (extra.contains("--dry-run"))
        QCOMPARE(out, dir.filePath("Mail/1.emlx") + '\t' + folder + "/Hi 06-08-2011.eml\n" +
                          dir.filePath("Mail/2.emlx") + '\t' + folder + "/Hi 06-08-2011 (2).eml\n");
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
