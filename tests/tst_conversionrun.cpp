#include "TestFiles.h"
#include "convert/ConversionRun.h"
#include "convert/UpdateRecord.h"
#include "platform/PathHelpers.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using TestFiles::emlx;
using TestFiles::mail;

Q_DECLARE_METATYPE(OutputFormat)

namespace {

// Reads mbox files or Maildirs with Python's own mailbox module: one line per message, the file it
// lies in (an mbox file, or the Maildir file rebuilt from the flags Python read) and its bytes.
const char *const readBackScript = R"(
import base64, mailbox, os, sys
kind = sys.argv[1]
for path in sys.argv[2:]:
    if kind == 'mbox':
        box = mailbox.mbox(path, create=False)
        for key in box.keys():
            print(path, base64.b64encode(box.get_bytes(key)).decode())
    else:
        box = mailbox.Maildir(path, create=False)
        for key in box.keys():
            message = box.get_message(key)
            name = os.path.join(path, message.get_subdir(), key + ':2,' + message.get_flags())
            print(name, base64.b64encode(box.get_bytes(key)).decode())
)";

// Each message read back, in the order of the files: "file<TAB>message bytes".
QStringList readBackByPython(const QString &kind, const QStringList &paths)
{
    QProcess python;
    python.start(QStringLiteral("python3"), QStringList{"-c", readBackScript, kind} + paths);
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return {"python3 failed: " + QString::fromLocal8Bit(python.readAllStandardError())};
    QStringList messages;
    for (const QByteArray &line : python.readAllStandardOutput().split('\n'))
        if (const qsizetype space = line.lastIndexOf(' '); space > 0)
            messages << QString::fromUtf8(line.left(space)) + '\t' +
                            QString::fromUtf8(QByteArray::fromBase64(line.mid(space + 1)));
    return messages;
}

// What the mboxrd rule takes back: one '>' from each line that begins with '>'s and "From ".
QByteArray unquotedMboxrd(QByteArray message)
{
    static const QRegularExpression quoted(QStringLiteral("^>(>*From )"), QRegularExpression::MultilineOption);
    return QString::fromLatin1(message).replace(quoted, QStringLiteral("\\1")).toLatin1();
}

} // namespace

class ConversionRunTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString src(const QString &relative) const { return m_dir->filePath("src/" + relative); }
    QString dest() const { return m_dir->filePath("out"); }
    // Where a source below src/ is mirrored under the destination.
    QString mirrored(const QString &relative) const
    {
        return dest() + '/' + dropPathRoot(QDir::cleanPath(m_dir->filePath("src/" + relative)));
    }
    QStringList outputFiles() const { return TestFiles::filesBelow(dest()); }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void writesTheMessageInItsMirroredFolder_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("output");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("warns");
        const QByteArray crlf = "Subject: crlf\r\n\r\nline\r\n";
        auto row = [](const char *name, const QString &source, const QByteArray &file, const QString &output,
                      const QByteArray &message,
                      bool warns) { QTest::newRow(name) << source << file << output << message << warns; };
        row("nested folders", "A/B/1.emlx", emlx(mail("one")), "A/B/1.eml", mail("one"), false);
        row("count too large", "5.emlx", emlx(mail("x"), TestFiles::propertyList(), 50), "5.eml", mail("x"), true);
        const QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
        row("not mail, written as it is", "7.emlx", emlx(png), "7.eml", png, true);
        row("folder named like a message", "Box.emlx/6.emlx", emlx(mail("six")), "Box.eml/6.eml", mail("six"), false);
        row("upper-case ending, non-ASCII folder", "Входящие/ü NOTE.EMLX", emlx(crlf), "Входящие/ü NOTE.eml", crlf,
            false);
    }
    void writesTheMessageInItsMirroredFolder()
    {
        QFETCH(QString, source);
        QFETCH(QByteArray, file);
        QFETCH(QString, output);
        QFETCH(bool, warns);
        QVERIFY(TestFiles::write(src(source), file));
        const RunReport report = convertAll({src(source)}, {dest(), NamingScheme::Original, false});
        QVERIFY(report.succeeded());
        QCOMPARE(report.converted, 1);
        QCOMPARE(report.warnings.size(), warns ? 1 : 0);
        QCOMPARE(outputFiles(), QStringList({mirrored(output)}));
        QTEST(TestFiles::read(mirrored(output)), "message");
        QCOMPARE(TestFiles::read(src(source)), file); // the source is never touched
    }

    // Alike names are numbered in list order, a source listed again is written once, and a
    // second run replaces what the first wrote.
    void numbersAlikeNamesAndReplacesOnTheNextRun()
    {
        const QList<QByteArray> subjects{"Budget", "Re: Budget?", "Budget", "Re Budget", "B"};
        QStringList sources;
        for (int i = 0; i < subjects.size(); ++i) {
            sources << src(QStringLiteral("Box/%1.emlx").arg(i));
            QVERIFY(TestFiles::write(sources.last(), emlx(mail(subjects[i]))));
        }
        sources << sources[0] << src("Box/x/../0.emlx");
        QStringList expected;
        for (const char *name : {"Budget 06-08-2011.eml", "Re Budget 06-08-2011.eml", "Budget 06-08-2011 (2).eml",
                                 "Re Budget 06-08-2011 (2).eml", "B 06-08-2011.eml"})
            expected << mirrored(QStringLiteral("Box/") + name);
        QByteArray first = mail("Budget");
        for (int run = 1; run <= 2; ++run) {
            const RunReport report = convertAll(sources, {dest(), NamingScheme::SubjectDate, false});
            QVERIFY(report.succeeded());
            QCOMPARE(report.repeatedSources, 2);
            QStringList targets;
            for (const PlannedOutput &output : report.outputs)
                targets << output.target;
            QCOMPARE(targets, expected);
            QCOMPARE(TestFiles::read(expected[0]), first);
            QCOMPARE(outputFiles().size(), expected.size());
            first += "changed\n";
            QVERIFY(TestFiles::write(sources[0], emlx(first)));
        }
    }

    // A message that cannot be read, then one that cannot be written: each is named with its
    // reason and the run goes on to the next.
    void reportsFailuresAndGoesOn()
    {
#ifdef Q_OS_WIN
        QSKIP(TestFiles::noSymbolicLinks);
#endif
        const QStringList sources{src("Gone/1.emlx"), src("Occupied/2.emlx"), src("Good/3.emlx"),
                                  src("Dangling/4.emlx")};
        for (const QString &source : sources.first(3))
            QVERIFY(TestFiles::write(source, emlx(mail("m"))));
        QVERIFY(QFile::remove(sources[0]));
        QVERIFY(QDir().mkpath(mirrored("Occupied/2.eml")));
        QVERIFY(QDir().mkpath(src("Dangling")) && QFile::link(src("Gone/1.emlx"), sources[3]));

        const RunReport report = convertAll(sources, {dest(), NamingScheme::Original, false});
        QCOMPARE(report.converted, 1);
        QCOMPARE(report.failures.size(), 3);
        const QStringList reasons{"is gone", "cannot write", "is a link whose target does not exist"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(report.failures[i].source, sources[i == 2 ? 3 : i]);
            QVERIFY2(report.failures[i].text.contains(reasons[i]), qPrintable(report.failures[i].text));
        }
        QCOMPARE(outputFiles(), QStringList({mirrored("Good/3.eml")})); // and no temporary file
    }

    // Under the mailboxes layout the accounts of a mail store never share a folder, whichever of
    // them a run converts; the only account of a store keeps its mailboxes at the top.
    void mailboxesKeepAccountsApart_data()
    {
        QTest::addColumn<QStringList>("accounts"); // "store/account" of the messages converted
        QTest::addColumn<QStringList>("outputs");
        QTest::newRow("one account of a store with two") << QStringList{"two/A"} << QStringList{"A/INBOX/5.eml"};
        QTest::newRow("both accounts of that store")
            << QStringList{"two/A", "two/B"} << QStringList{"A/INBOX/5.eml", "B/INBOX/5.eml"};
        QTest::newRow("the only account of a store") << QStringList{"one/C"} << QStringList{"INBOX/5.eml"};
        QTest::newRow("two stores of one account each")
            << QStringList{"one/C", "other/D"} << QStringList{"C/INBOX/5.eml", "D/INBOX/5.eml"};
    }
    void mailboxesKeepAccountsApart()
    {
        QFETCH(QStringList, accounts);
        auto inbox = [this](const QString &account) {
            const QString store = account.section('/', 0, 0), name = account.section('/', 1);
            return src(store + "/Mail/V10/" + name + "/INBOX.mbox/Messages/5.emlx");
        };
        QHash<QString, QByteArray> messages;
        for (const QString &account : {"two/A", "two/B", "one/C", "other/D"}) {
            messages[inbox(account)] = mail(account.toUtf8());
            QVERIFY(TestFiles::write(inbox(account), emlx(messages[inbox(account)])));
        }
        QStringList sources;
        for (const QString &account : accounts)
            sources << inbox(account);
        RunOptions options{dest(), NamingScheme::Original, false};
        options.layout = OutputLayout::Mailboxes;

        const RunReport report = convertAll(sources, options);
        QVERIFY(report.succeeded());
        QStringList outputs;
        for (const PlannedOutput &output : report.outputs) {
            outputs << output.target.mid(dest().size() + 1);
            QCOMPARE(TestFiles::read(output.target), messages[output.source]);
        }
        QTEST(outputs, "outputs");
    }

    // An interrupted run may leave its temporary files; the next run into that folder removes
    // them, and nothing else.
    void removesTemporaryFilesOfEarlierRuns()
    {
        QVERIFY(TestFiles::write(src("Box/1.emlx"), emlx(mail("one"))));
        const QString folder = mirrored("Box") + '/';
        const QStringList kept{folder + ".emlx2eml-a1B2c3d.tmp", folder + "x.tmp", folder + ".emlx2eml-a1B2c3.txt",
                               dest() + "/.emlx2eml-a1B2c3.tmp"}; // the last in a folder the run does not write to
        const QDateTime killed = QDateTime::currentDateTime().addSecs(-60);
        for (const QString &file : kept + QStringList{folder + ".emlx2eml-a1B2c3.tmp", folder + ".emlx2eml-Zz9xY0.tmp"})
            QVERIFY(TestFiles::write(file, "left by a killed run") && TestFiles::setModified(file, killed));

        QVERIFY(convertAll({src("Box/1.emlx")}, {dest(), NamingScheme::Original, false}).succeeded());
        QStringList expected = kept + QStringList{mirrored("Box/1.eml")};
        expected.sort();
        QCOMPARE(outputFiles(), expected);
    }

    // A dry run writes nothing anywhere: not to learn the destination's letter-case rule, not to
    // clear what an earlier run left.
    void dryRunWritesNothing()
    {
        QVERIFY(TestFiles::write(src("Box.mbox/1.emlx"), emlx(mail("one"))));
        const QString leftover = dest() + "/Box/.emlx2eml-a1B2c3.tmp";
        QVERIFY(TestFiles::write(leftover, "left"));
        const QDateTime past = QDateTime::currentDateTime().addYears(-1);
        for (const QString &folder : {dest(), dest() + "/Box"})
            QVERIFY(TestFiles::setModifiedTime(folder, {past.toSecsSinceEpoch(), 0}));
        RunOptions options{dest(), NamingScheme::SubjectDate, true};
        options.layout = OutputLayout::Mailboxes;

        const RunReport report = convertAll({src("Box.mbox/1.emlx")}, options);
        QVERIFY(report.succeeded());
        QCOMPARE(report.outputs[0].target, dest() + "/Box/one 06-08-2011.eml");
        QCOMPARE(outputFiles(), QStringList{leftover});
        for (const QString &folder : {dest(), dest() + "/Box"})
            QCOMPARE(QFileInfo(folder).lastModified().toSecsSinceEpoch(), past.toSecsSinceEpoch());
    }

    // The caller hears of each message, may switch the scheme between messages, and may stop the run.
    void followsTheCallbacks()
    {
        QStringList sources{src("1.emlx"), "   ", src("2.emlx"), src("3.emlx"), src("4.emlx")};
        for (const QString &source : QStringList{sources[0], sources[2], sources[3], sources[4]})
            QVERIFY(TestFiles::write(source, emlx(mail("s" + QFileInfo(source).baseName().toUtf8()))));
        QList<int> started;
        QList<QPair<int, int>> progress;
        RunCallbacks callbacks;
        callbacks.messageStarted = [&started](int index) { started << index; };
        callbacks.progress = [&progress](int done, int total) { progress << qMakePair(done, total); };
        callbacks.scheme = [&progress] {
            return progress.isEmpty() ? NamingScheme::Original : NamingScheme::SubjectDate;
        };
        callbacks.stopRequested = [&progress] { return progress.size() == 4; };

        const RunReport report = convertAll(sources, {dest(), NamingScheme::Original, false}, callbacks);
        QVERIFY(report.stopped);
        QCOMPARE(report.emptyEntries, 1);
        QCOMPARE(report.converted, 3);
        QCOMPARE(started, QList<int>({0, 1, 2, 3}));
        QCOMPARE(progress, (QList<QPair<int, int>>{{1, 5}, {2, 5}, {3, 5}, {4, 5}}));
        QCOMPARE(outputFiles(),
                 QStringList({mirrored("1.eml"), mirrored("s2 06-08-2011.eml"), mirrored("s3 06-08-2011.eml")}));
    }

    // Python's mailbox module finds in the mbox files and the Maildirs exactly the messages that
    // the .eml files of the same run hold: partial messages put back whole, "From " lines and alike
    // names, two mailboxes, and a message that fails left out.
    void mailboxFormatsHoldWhatEmlFilesHold_data()
    {
        QTest::addColumn<OutputFormat>("format");
        QTest::addColumn<int>("jobs");
        QTest::newRow("mbox") << OutputFormat::Mbox << 1;
        QTest::newRow("mbox, four jobs") << OutputFormat::Mbox << 4;
        QTest::newRow("maildir") << OutputFormat::Maildir << 1;
        QTest::newRow("maildir, four jobs") << OutputFormat::Maildir << 4;
    }
    void mailboxFormatsHoldWhatEmlFilesHold()
    {
        QFETCH(OutputFormat, format);
        QFETCH(int, jobs);
        const QByteArray partial =
            "From: Ann <ann@example.com>\nSubject: alike\nDate: Sat, 6 Aug 2011 10:00:00 +0200\nMIME-Version: 1.0\n"
            "Content-Type: multipart/mixed; boundary=\"b\"\n\n--b\nContent-Type: text/plain\n\nFrom the top\n"
            "--b\nContent-Type: text/plain; name=\"a.txt\"\nContent-Transfer-Encoding: 7bit\n"
            "X-Apple-Content-Length: 19\n\n\n--b--\n";
        const QList<QPair<QString, QByteArray>> files{
            {"INBOX.mbox/Messages/1.emlx",
             emlx("Return-Path: <bounce@lists.example.org>\n" + mail("alike") + "From me\n>From you\n>>From them\n")},
            {"INBOX.mbox/Messages/2.partial.emlx", emlx(partial)},
            {"INBOX.mbox/Messages/2.2.emlxpart", "From inside a part\n"},
            {"INBOX.mbox/Messages/3.emlx", QByteArray()}, // fails: holds no message
            {"INBOX.mbox/Messages/4.emlx",
             emlx("Return-Path: <>\n" + mail("alike").chopped(1))}, // no line break at the end
            {"Projects.mbox/Alpha.mbox/Messages/5.emlx", emlx("Subject: x\r\n\r\nFrom crlf\r\n")},
            {"Projects.mbox/Messages/6.emlx", emlx(mail("outer"))}, // a mailbox that holds another
        };
        QStringList sources;
        for (const auto &[path, bytes] : files) {
            QVERIFY(TestFiles::write(src(path), bytes));
            if (path.endsWith(".emlx"))
                sources << src(path);
        }
        RunOptions eml{dest() + "/eml", NamingScheme::SubjectDate, false, OutputLayout::Mailboxes};
        RunOptions boxes = eml;
        boxes.destination = dest() + "/boxes";
        boxes.format = format;
        boxes.jobs = jobs;
        const RunReport emlReport = convertAll(sources, eml);
        const RunReport report = convertAll(sources, boxes);
        QCOMPARE(report.failures.size(), 1);
        QCOMPARE(report.failures[0].source, src(files[3].first));
        QCOMPARE(emlReport.converted, 5);
        QVERIFY(TestFiles::read(emlReport.outputs[1].target).contains("From inside a part"));
        QCOMPARE(emlReport.outputs[2].target, dest() + "/eml/INBOX/alike 06-08-2011 (3).eml");
        QCOMPARE(report.outputs.size(), emlReport.outputs.size());

        QStringList expected, mailboxes;
        for (int i = 0; i < report.outputs.size(); ++i) {
            QCOMPARE(report.outputs[i].source, emlReport.outputs[i].source);
            expected << report.outputs[i].target + '\t' + TestFiles::read(emlReport.outputs[i].target);
            const QString mailbox = format == OutputFormat::Mbox ? report.outputs[i].target
                                                                 : QFileInfo(report.outputs[i].target).path() + "/..";
            if (!mailboxes.contains(QDir::cleanPath(mailbox)))
                mailboxes << QDir::cleanPath(mailbox);
        }
        const QString inner = format == OutputFormat::Mbox ? "/Projects.sbd/Alpha" : "/Projects/Alpha";
        QCOMPARE(mailboxes, QStringList({boxes.destination + "/INBOX", boxes.destination + inner,
                                         boxes.destination + "/Projects"}));
#ifdef Q_OS_WIN
        QSKIP("no Python here to read the mailboxes back; make test-windows compares them with the Linux build's");
#endif
        QStringList readBack = readBackByPython(format == OutputFormat::Mbox ? "mbox" : "maildir", mailboxes);
        if (format == OutputFormat::Mbox) {
            for (QString &message : readBack)
                message = QString::fromLatin1(unquotedMboxrd(message.toLatin1()));
            expected[2] += '\n'; // an mbox message ends with a line break
            // The envelope sender: the Return-Path's, the From header's, none for a bounce's empty one.
            const QByteArray inbox = TestFiles::read(boxes.destination + "/INBOX");
            QVERIFY(inbox.startsWith("From bounce@lists.example.org Sat Aug  6 08:00:00 2011\n"));
            QVERIFY(inbox.contains("\n\nFrom ann@example.com Sat Aug  6 08:00:00 2011\n"));
            QVERIFY(inbox.contains("\n\nFrom MAILER-DAEMON Sat Aug  6 08:00:00 2011\n"));
        } else {
            std::sort(expected.begin(), expected.end());
            std::sort(readBack.begin(), readBack.end());
        }
        QCOMPARE(readBack, expected);
        for (const QString &file : outputFiles()) {
            const QString below = file.mid(dest().size());
            QVERIFY2(!below.contains("/.emlx2eml-") && !below.contains("/tmp/"), qPrintable(below));
        }
    }

    // The mboxrd rule holds however the message's bytes are split into writes.
    void quotesFromLinesAcrossWrites_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("quoted");
        QTest::newRow("first line, quoted ones, CRLF")
            << QByteArray("From a\r\n>From b\n>>>From c\n") << QByteArray(">From a\r\n>>From b\n>>>>From c\n");
        QTest::newRow("alike but not quoted") << QByteArray("Fromage\nFrom\n>From\n >From x\nx From y\n>\n\n")
                                              << QByteArray("Fromage\nFrom\n>From\n >From x\nx From y\n>\n\n");
        QTest::newRow("ends inside a line that began alike") << QByteArray("a\n>>Fro") << QByteArray("a\n>>Fro");
        QTest::newRow("ends right after From and a blank") << QByteArray("a\nFrom ") << QByteArray("a\n>From ");
    }
    void quotesFromLinesAcrossWrites()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, quoted);
        for (const qsizetype step : {message.size(), qsizetype(1), qsizetype(3)}) {
            QBuffer out;
            out.open(QIODevice::WriteOnly);
            MboxrdQuoting quoting(out);
            for (qsizetype at = 0; at < message.size(); at += step)
                QVERIFY(quoting.write(message.mid(at, step)) == message.mid(at, step).size());
            QVERIFY(quoting.finish());
            QCOMPARE(out.data(), quoted);
            QCOMPARE(quoting.endedWithLineBreak(), quoted.endsWith('\n'));
        }
    }

    // The mail client's read, answered, flagged, draft and deleted bits become the Maildir name's
    // letters and, when asked for, the mbox message's Status and X-Status headers; the Maildir file
    // takes the received date.
    void keepsTheMessageState_data()
    {
        QTest::addColumn<QByteArray>("flags");
        QTest::addColumn<QString>("letters");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("none") << QByteArray("0") << "" << QByteArray("Status: O\n");
        QTest::newRow("read, with bits beyond") << QByteArray("8590195713") << "S" << QByteArray("Status: RO\n");
        QTest::newRow("read and flagged") << QByteArray("17") << "FS" << QByteArray("Status: RO\nX-Status: F\n");
        QTest::newRow("answered, deleted") << QByteArray("6") << "RT" << QByteArray("Status: O\nX-Status: AD\n");
        QTest::newRow("all five") << QByteArray("87") << "DFRST" << QByteArray("Status: RO\nX-Status: ADFT\n");
    }
    void keepsTheMessageState()
    {
        QFETCH(QByteArray, flags);
        QFETCH(QString, letters);
        QFETCH(QByteArray, status);
        const QByteArray plist = TestFiles::propertyList("<key>date-received</key>\n<integer>1312624800</integer>\n"
                                                         "<key>flags</key>\n<integer>" +
                                                         flags + "</integer>\n");
        const QString source = src("Box.mbox/1.emlx");
        QVERIFY(TestFiles::write(source, emlx(mail("state"), plist)));
        RunOptions maildir{dest() + "/maildir", NamingScheme::Original, false, OutputLayout::Mailboxes};
        maildir.format = OutputFormat::Maildir;
        RunOptions mbox{dest() + "/mbox", NamingScheme::Original, false, OutputLayout::Mailboxes};
        mbox.format = OutputFormat::Mbox;
        mbox.mboxStatus = true;

        const RunReport inMaildir = convertAll({source}, maildir);
        QVERIFY(inMaildir.succeeded());
        const QString file = inMaildir.outputs[0].target;
        QVERIFY2(file.startsWith(maildir.destination + "/Box/cur/") && file.endsWith(":2," + letters),
                 qPrintable(file));
        QCOMPARE(QFileInfo(file).lastModified().toSecsSinceEpoch(), 1312624800);
        QVERIFY(convertAll({source}, maildir).outputs[0].target == file); // the same name in every run
        QVERIFY(TestFiles::write(source, emlx(mail("state"), TestFiles::propertyList("<key>flags</key><integer>8"
                                                                                     "</integer>"))));
        const QString unflagged = convertAll({source}, maildir).outputs[0].target;
        QCOMPARE(TestFiles::filesBelow(maildir.destination), QStringList{unflagged}); // replaced, not doubled
        QVERIFY(TestFiles::write(source, emlx(mail("state"), plist)));
        QVERIFY(convertAll({source}, mbox).succeeded());
        QCOMPARE(TestFiles::read(mbox.destination + "/Box"),
                 "From ann@example.com Sat Aug  6 08:00:00 2011\n" + status + mail("state") + '\n');
    }

    // A stopped run leaves no half mailbox: the mailbox finished before the stop is in place, the
    // one under way is gone with its temporary file, and its messages do not count as written.
    void stoppedRunLeavesNoHalfMailbox()
    {
        QStringList sources;
        for (const char *path : {"A.mbox/1.emlx", "B.mbox/2.emlx", "B.mbox/3.emlx", "B.mbox/4.emlx"}) {
            sources << src(path);
            QVERIFY(TestFiles::write(sources.last(), emlx(mail(path))));
        }
        RunOptions options{dest(), NamingScheme::Original, false, OutputLayout::Mailboxes};
        options.format = OutputFormat::Mbox;
        int started = 0;
        RunCallbacks callbacks;
        callbacks.messageStarted = [&started](int) { ++started; };
        callbacks.stopRequested = [&started] { return started == 3; };
        const RunReport report = convertAll(sources, options, callbacks);
        QVERIFY(report.stopped);
        QCOMPARE(report.converted, 1);
        QCOMPARE(outputFiles(), QStringList{dest() + "/A"});
    }

    // A dry run plans what a run writes; many jobs write what one job writes.
    void sameResultAsOneRealJob_data()
    {
        QTest::addColumn<bool>("dryRun");
        QTest::addColumn<int>("jobs");
        QTest::newRow("dry run") << true << 1;
        QTest::newRow("three jobs") << false << 3;
    }
    void sameResultAsOneRealJob()
    {
        QFETCH(bool, dryRun);
        QFETCH(int, jobs);
        // Alike names, a repeated source, an empty entry, broken files and warnings, over several batches.
        QStringList sources;
        for (int i = 0; i < 700; ++i) {
            sources << src(QStringLiteral("Box%1/%2.emlx").arg(i % 3).arg(i));
            const QByteArray subject = i % 5 == 0 ? "alike" : "m" + QByteArray::number(i);
            const int adjust = i % 89 == 0 ? 7 : 0;
            QVERIFY(TestFiles::write(
                sources.last(), i % 97 == 0 ? QByteArray() : emlx(mail(subject), TestFiles::propertyList(), adjust)));
        }
        sources.insert(300, sources[10]);
        sources.insert(400, "  ");
        auto summary = [dryRun](const RunReport &report, const QString &destination) {
            QStringList lines;
            for (const PlannedOutput &output : report.outputs)
                lines << output.source + " -> " + output.target.mid(destination.size()) + " : " +
                             (dryRun ? QByteArray() : TestFiles::read(output.target));
            for (const MessageNote &note : report.failures + report.warnings)
                lines << note.source + " ! " + note.text;
            for (int count : {report.converted, report.emptyEntries, report.repeatedSources, report.total})
                lines << QString::number(count);
            return lines;
        };
        RunOptions one{dest() + "/one", NamingScheme::SubjectDate, false};
        RunOptions other{dest() + "/other", NamingScheme::SubjectDate, dryRun};
        other.jobs = jobs;
        const QStringList expected = summary(convertAll(sources, one), one.destination);
        QCOMPARE(summary(convertAll(sources, other), other.destination), expected);
        QCOMPARE(QFileInfo::exists(other.destination), !dryRun);
        QVERIFY(expected.filter(" (2).eml").size() > 0);
        QVERIFY(expected.filter(" ! ").size() > 8);
    }
    // With update, a run started again after a stop writes exactly what the stopped run left
    // out: alike names are numbered as before, the first run's files stay as they are (their
    // inodes show it), and the whole equals one uninterrupted run.
    void updateAfterAStopWritesOnlyTheMissingHalf()
    {
        QStringList sources;
        for (int i = 0; i < 8; ++i) {
            sources << src(QStringLiteral("Box/%1.emlx").arg(i));
            QVERIFY(TestFiles::write(sources.last(), i == 6 ? QByteArray() : emlx(mail(i % 2 ? "alike" : "Same"))));
        }
        RunOptions options{dest() + "/resumed", NamingScheme::SubjectDate, false};
        options.update = true;
        int done = 0;
        RunCallbacks stopHalfWay;
        stopHalfWay.progress = [&done](int, int) { ++done; };
        stopHalfWay.stopRequested = [&done] { return done == 4; };
        const RunReport stopped = convertAll(sources, options, stopHalfWay);
        QVERIFY(stopped.stopped);
        QCOMPARE(stopped.converted, 4);
        const auto inodeOf = [](const QString &path) {
            struct stat status = {};
            return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? qint64(status.st_ino) : qint64(-1);
        };
        QHash<QString, qint64> firstHalf;
        for (const PlannedOutput &output : stopped.outputs)
            firstHalf.insert(output.target, inodeOf(output.target));

        options.jobs = 2;
        const RunReport resumed = convertAll(sources, options);
        QCOMPARE(resumed.upToDate, 4);
        QCOMPARE(resumed.converted, 3);
        QCOMPARE(resumed.failures.size(), 1); // the broken message, again
        for (const PlannedOutput &output : resumed.outputs)
            QVERIFY2(!firstHalf.contains(output.target), qPrintable(output.target));
        for (auto file = firstHalf.cbegin(); file != firstHalf.cend(); ++file)
            QCOMPARE(inodeOf(file.key()), file.value());

        const RunOptions whole{dest() + "/whole", NamingScheme::SubjectDate, false};
        QCOMPARE(convertAll(sources, whole).converted, 7);
        const auto contents = [](const QString &folder) {
            QStringList lines;
            for (const QString &file : TestFiles::filesBelow(folder))
                if (file != UpdateRecord::pathIn(folder))
                    lines << file.mid(folder.size()) + " : " + TestFiles::read(file);
            return lines;
        };
        QCOMPARE(contents(options.destination), contents(whole.destination));
        QCOMPARE(contents(whole.destination).filter(" (3).eml").size(), 2);
    }

    // With update, an output is left alone only when it is what the run would write: the
    // message's size and the source's modification time. A partial message is written again,
    // and so is a source changed since (the record of the first run no longer fits it).
    void updateLeavesAloneOnlyWhatMatches_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QByteArray>("grown");       // appended to the earlier output
        QTest::addColumn<int>("shiftSeconds");       // added to the earlier output's modification time
        QTest::addColumn<QByteArray>("rewrittenAs"); // the source's new message, its time kept
        QTest::addColumn<int>("upToDate");
        QTest::newRow("as written") << "1.emlx" << QByteArray() << 0 << QByteArray() << 1;
        QTest::newRow("other size") << "1.emlx" << QByteArray("x") << 0 << QByteArray() << 0;
        QTest::newRow("other time") << "1.emlx" << QByteArray() << 1 << QByteArray() << 0;
        QTest::newRow("source changed") << "1.emlx" << QByteArray() << 0 << mail("longer") << 0;
        QTest::newRow("partial message") << "2.partial.emlx" << QByteArray() << 0 << QByteArray() << 0;
    }
    void updateLeavesAloneOnlyWhatMatches()
    {
        QFETCH(QString, source);
        QFETCH(QByteArray, grown);
        QFETCH(int, shiftSeconds);
        QFETCH(QByteArray, rewrittenAs);
        QFETCH(int, upToDate);
        const QDateTime modified = QDateTime::fromSecsSinceEpoch(1312624800);
        QVERIFY(TestFiles::write(src(source), emlx(mail("m"))));
        QVERIFY(TestFiles::setModified(src(source), modified));
        RunOptions options{dest(), NamingScheme::Original, false};
        options.update = true;
        const RunReport first = convertAll({src(source)}, options);
        QCOMPARE(first.converted, 1);
        const QString target = first.outputs.value(0).target;
        QVERIFY(TestFiles::write(target, TestFiles::read(target) + grown));
        QVERIFY(TestFiles::setModified(target, modified.addSecs(shiftSeconds)));
        QVERIFY(rewrittenAs.isEmpty() || TestFiles::write(src(source), emlx(rewrittenAs)));
        QVERIFY(TestFiles::setModified(src(source), modified));

        const RunReport again = convertAll({src(source)}, options);
        QVERIFY(again.succeeded());
        QTEST(again.upToDate, "upToDate");
        QCOMPARE(again.converted, 1 - upToDate);
        const QByteArray rewritten = rewrittenAs.isEmpty() ? mail("m") : rewrittenAs;
        QCOMPARE(TestFiles::read(target), upToDate ? mail("m") + grown : rewritten);
        QCOMPARE(QFileInfo(target).lastModified(), modified.addSecs(upToDate ? shiftSeconds : 0));
    }

    // The record that lets a rerun skip unchanged sources lies in the output, where anything
    // may have been put: a name that climbs out is ignored, and a link there is not written through.
    void updateRecordIsNotTrustedBlindly()
    {
        QVERIFY(TestFiles::write(src("Box/1.emlx"), emlx(mail("m"))));
        RunOptions options{dest(), NamingScheme::Original, false};
        options.update = true;
        const RunReport first = convertAll({src("Box/1.emlx")}, options);
        QCOMPARE(first.converted, 1);
        const QString record = UpdateRecord::pathIn(dest());
        const QByteArray written = TestFiles::read(record);
        QVERIFY2(written.endsWith(" 1.eml\n"), written.constData());
        QVERIFY(TestFiles::write(record, written.chopped(7) + " ..%2F..%2Fclimbed.eml\n"));
        const RunReport climbing = convertAll({src("Box/1.emlx")}, options);
        QVERIFY(climbing.succeeded());
        QCOMPARE(climbing.upToDate, 1);
        QVERIFY(TestFiles::filesBelow(m_dir->path()).filter("climbed").isEmpty());

#ifdef Q_OS_WIN
        QSKIP(TestFiles::noSymbolicLinks);
#endif
        const QString elsewhere = m_dir->filePath("elsewhere");
        QVERIFY(TestFiles::write(elsewhere, "untouched"));
        QVERIFY(QFile::remove(record) && QFile::link(elsewhere, record));
        QVERIFY(QFile::remove(first.outputs.value(0).target));
        const RunReport throughLink = convertAll({src("Box/1.emlx")}, options);
        QCOMPARE(throughLink.converted, 1);
        QCOMPARE(TestFiles::read(elsewhere), QByteArray("untouched"));
        QCOMPARE(throughLink.warnings.size(), 1);
        QVERIFY2(throughLink.warnings.value(0).text.contains("is a link"), qPrintable(throughLink.warnings.value(0).text));
    }

    // --update over mailboxes: a Maildir file of the same unique name and flags stays; an mbox
    // file stays until one of its sources is newer, and is then written again whole.
    void updateLeavesFinishedMailboxesAlone_data()
    {
        QTest::addColumn<OutputFormat>("format");
        QTest::addColumn<int>("upToDateAfterChange");
        QTest::newRow("maildir") << OutputFormat::Maildir << 1;
        QTest::newRow("mbox") << OutputFormat::Mbox << 0;
    }
    void updateLeavesFinishedMailboxesAlone()
    {
        QFETCH(OutputFormat, format);
        QFETCH(int, upToDateAfterChange);
        const QStringList sources{src("Box.mbox/1.emlx"), src("Box.mbox/2.emlx")};
        const QDateTime old = QDateTime::currentDateTime().addDays(-2);
        for (const QString &source : sources) {
            QVERIFY(TestFiles::write(source, emlx(mail(GetFileNamePart(source).toUtf8()))));
            QVERIFY(TestFiles::setModified(source, old));
        }
        RunOptions options{dest(), NamingScheme::Original, false, OutputLayout::Mailboxes};
        options.format = format;
        options.update = true;
        QCOMPARE(convertAll(sources, options).converted, 2);
        const QStringList written = TestFiles::filesBelow(dest());

        const RunReport again = convertAll(sources, options);
        QVERIFY(again.succeeded());
        QCOMPARE(again.upToDate, 2);
        QCOMPARE(again.converted, 0);
        QCOMPARE(TestFiles::filesBelow(dest()), written);

        const QByteArray flagged = TestFiles::propertyList("<key>flags</key>\n<integer>17</integer>\n");
        QVERIFY(TestFiles::write(sources[0], emlx(mail("changed"), flagged)));
        const RunReport changed = convertAll(sources, options);
        QVERIFY(changed.succeeded());
        QCOMPARE(changed.upToDate, upToDateAfterChange);
        QCOMPARE(changed.converted, 2 - upToDateAfterChange);
        QByteArray everything;
        for (const QString &file : TestFiles::filesBelow(dest()))
            everything += TestFiles::read(file);
        QVERIFY(everything.contains(mail("changed")));
    }
};

QTEST_GUILESS_MAIN(ConversionRunTest)
#include "tst_conversionrun.moc"
