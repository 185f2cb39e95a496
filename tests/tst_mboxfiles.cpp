#include "MailboxReadBack.h"
#include "RunFixture.h"
#include "TestFiles.h"
#include "convert/ConversionRun.h"
#include "convert/output/MboxFiles.h"

#include <QBuffer>
#include <QDir>
#include <QRegularExpression>
#include <QTest>

using TestFiles::emlx;
using TestFiles::mail;

namespace {

// What the mboxrd rule takes back: one '>' from each line that begins with '>'s and "From ".
QByteArray unquotedMboxrd(QByteArray message)
{
    static const QRegularExpression quoted(QStringLiteral("^>(>*From )"), QRegularExpression::MultilineOption);
    return QString::fromLatin1(message).replace(quoted, QStringLiteral("\\1")).toLatin1();
}

} // namespace

// --format mbox: one file per mailbox, read back by Python's mailbox module.
class MboxFilesTest : public QObject, RunFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init() { renew(); }

    // Python's mailbox module finds in the mbox files exactly the messages that the .eml files of
    // the same run hold, each after its envelope sender's separator line; a message that fails is
    // left out, and a mailbox that holds another keeps it in its .sbd folder.
    void holdsWhatEmlFilesHold_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::newRow("one job") << 1;
        QTest::newRow("four jobs") << 4;
    }
    void holdsWhatEmlFilesHold()
    {
        QFETCH(int, jobs);
        AgainstEml run = convertAgainstEml(OutputFormat::Mbox, jobs);
        QCOMPARE(run.boxes.failures.size(), 1);
        QCOMPARE(run.boxes.failures[0].source, src("INBOX.mbox/Messages/3.emlx"));
        QCOMPARE(run.boxes.outputs.size(), run.eml.outputs.size());
        QStringList mailboxes;
        for (int i = 0; i < run.boxes.outputs.size(); ++i) {
            QCOMPARE(run.boxes.outputs[i].source, run.eml.outputs[i].source);
            if (!mailboxes.contains(run.boxes.outputs[i].target))
                mailboxes << run.boxes.outputs[i].target;
        }
        QCOMPARE(mailboxes, QStringList({run.destination + "/INBOX", run.destination + "/Projects.sbd/Alpha",
                                         run.destination + "/Projects"}));
#ifdef Q_OS_WIN
        QSKIP("no Python here to read the mailboxes back; make test-windows compares them with the Linux build's");
#endif
        QStringList readBack = readBackByPython("mbox", mailboxes);
        for (QString &message : readBack)
            message = QString::fromLatin1(unquotedMboxrd(message.toLatin1()));
        run.expected[2] += '\n'; // an mbox message ends with a line break
        QCOMPARE(readBack, run.expected);
        // The envelope sender: the Return-Path's, the From header's, none for a bounce's empty one.
        const QByteArray inbox = TestFiles::read(run.destination + "/INBOX");
        QVERIFY(inbox.startsWith("From bounce@lists.example.org Sat Aug  6 08:00:00 2011\n"));
        QVERIFY(inbox.contains("\n\nFrom ann@example.com Sat Aug  6 08:00:00 2011\n"));
        QVERIFY(inbox.contains("\n\nFrom MAILER-DAEMON Sat Aug  6 08:00:00 2011\n"));
        QCOMPARE(TestFiles::filesBelow(run.destination).filter("/.emlx2eml-"), QStringList());
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

    // The mail client's read, answered, flagged, draft and deleted bits become, when asked for,
    // the message's Status and X-Status headers.
    void keepsTheMessageState_data()
    {
        QTest::addColumn<QByteArray>("flags");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("none") << QByteArray("0") << QByteArray("Status: O\n");
        QTest::newRow("read, with bits beyond") << QByteArray("8590195713") << QByteArray("Status: RO\n");
        QTest::newRow("read and flagged") << QByteArray("17") << QByteArray("Status: RO\nX-Status: F\n");
        QTest::newRow("answered, deleted") << QByteArray("6") << QByteArray("Status: O\nX-Status: AD\n");
        QTest::newRow("all five") << QByteArray("87") << QByteArray("Status: RO\nX-Status: ADFT\n");
    }
    void keepsTheMessageState()
    {
        QFETCH(QByteArray, flags);
        QFETCH(QByteArray, status);
        const QString source = src("Box.mbox/1.emlx");
        QVERIFY(TestFiles::write(
            source, emlx(mail("state"), TestFiles::propertyList("<key>flags</key>\n<integer>" + flags + "</integer>\n"))));
        RunOptions mbox = mailboxesIn(dest(), OutputFormat::Mbox);
        mbox.mboxStatus = true;
        QVERIFY(convertAll({source}, mbox).succeeded());
        QCOMPARE(TestFiles::read(dest() + "/Box"),
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
        int started = 0;
        RunCallbacks callbacks;
        callbacks.messageStarted = [&started](int) { ++started; };
        callbacks.stopRequested = [&started] { return started == 3; };
        const RunReport report = convertAll(sources, mailboxesIn(dest(), OutputFormat::Mbox), callbacks);
        QVERIFY(report.stopped);
        QCOMPARE(report.converted, 1);
        QCOMPARE(outputFiles(), QStringList{dest() + "/A"});
    }

    // --update decides by what each mailbox file holds: it stays while it holds, as recorded,
    // exactly the sources that the run would write into it, each unchanged; otherwise it is
    // written again whole. A mailbox that holds messages of sources still there that this run
    // does not list is not written over: this run's go into a numbered one, with a warning.
    void updateDecidesByWhatMailboxesHold_data()
    {
        QTest::addColumn<QString>("first");  // the messages of the first run, by number
        QTest::addColumn<QString>("change"); // what happens to the store between the runs
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("upToDate");
        QTest::addColumn<QString>("box"); // the subjects in Box after the second run
        QTest::addColumn<QString>("numbered"); // in "Box (2)"
        QTest::newRow("nothing changed") << "12" << "" << "12" << 2 << "12" << "";
        QTest::newRow("a source changed") << "12" << "rewrite 1" << "12" << 0 << "x2" << "";
        QTest::newRow("an earlier run over part of the store") << "1" << "" << "12" << 0 << "12" << "";
        QTest::newRow("a message that failed, mended since") << "12" << "mend 2" << "12" << 0 << "12" << "";
        QTest::newRow("moved in from another mailbox, time kept") << "13" << "move 3" << "15" << 0 << "13" << "";
        QTest::newRow("a second source tree") << "1" << "" << "4" << 0 << "1" << "4";
    }
    void updateDecidesByWhatMailboxesHold()
    {
        QFETCH(QString, first);
        QFETCH(QString, change);
        QFETCH(QString, second);
        // 5 is where 3 lies once moved from Other into Box.
        const QStringList places{"", "A/Box.mbox/1.emlx", "A/Box.mbox/2.emlx", "A/Other.mbox/3.emlx",
                                 "B/Box.mbox/4.emlx", "A/Box.mbox/3.emlx"};
        const QDateTime old = QDateTime::currentDateTime().addDays(-2);
        for (int n = 1; n <= 4; ++n) {
            QVERIFY(TestFiles::write(src(places[n]), change == "mend 2" && n == 2 ? QByteArray()
                                                                                : emlx(mail(QByteArray::number(n)))));
            QVERIFY(TestFiles::setModified(src(places[n]), old));
        }
        const auto sourcesOf = [&](const QString &numbers) {
            QStringList sources;
            for (const QChar n : numbers)
                sources << src(places[n.digitValue()]);
            return sources;
        };
        RunOptions options = mailboxesIn(dest(), OutputFormat::Mbox);
        options.update = true;
        convertAll(sourcesOf(first), options);
        if (change == "rewrite 1")
            QVERIFY(TestFiles::write(src(places[1]), emlx(mail("x"))));
        if (change == "mend 2")
            QVERIFY(TestFiles::write(src(places[2]), emlx(mail("2"))) && TestFiles::setModified(src(places[2]), old));
        if (change == "move 3")
            QVERIFY(QDir().rename(src(places[3]), src(places[5])));

        const RunReport again = convertAll(sourcesOf(second), options);
        QVERIFY(again.failures.isEmpty());
        QTEST(again.upToDate, "upToDate");
        QCOMPARE(again.converted, second.size() - again.upToDate);
        const auto subjectsIn = [](const QString &mailbox) {
            QString subjects;
            static const QRegularExpression subject(QStringLiteral("^Subject: (.+)$"), QRegularExpression::MultilineOption);
            for (const QRegularExpressionMatch &match : subject.globalMatch(QString::fromUtf8(TestFiles::read(mailbox))))
                subjects += match.captured(1);
            return subjects;
        };
        QTEST(subjectsIn(dest() + "/Box"), "box");
        QFETCH(QString, numbered);
        QCOMPARE(subjectsIn(dest() + "/Box (2)"), numbered);
        QCOMPARE(again.warnings.size(), numbered.isEmpty() ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(MboxFilesTest)
#include "tst_mboxfiles.moc"
