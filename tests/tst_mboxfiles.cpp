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
        QCOMPARE(mailboxes, QStringList({run.destination + "/Inbox", run.destination + "/Projects.sbd/Alpha",
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
        const QByteArray inbox = TestFiles::read(run.destination + "/Inbox");
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
        // Taken in one pass: a line of 100,000 '>' once held the run for minutes.
        QTest::newRow("a long line of quotes") << QByteArray(100000, '>') + "From x\n" + QByteArray(100000, '>')
                                               << QByteArray(100001, '>') + "From x\n" + QByteArray(100000, '>');
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

    // With --mbox-status, the mail client's read, answered, flagged, draft, deleted and forwarded
    // bits become the Status and X-Status headers and the desktop client's X-Mozilla-Status
    // (never its expunged bit), in place of the message's own; the separator line names a
    // printable ASCII sender of a sensible length, else MAILER-DAEMON, and the received date.
    void keepsTheMessageState_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("plist");
        QTest::addColumn<QByteArray>("written");
        const QByteArray ann = "From ann@example.com Sat Aug  6 08:00:00 2011\n";
        const QByteArray unread = "Status: O\nX-Mozilla-Status: 0000\nX-Mozilla-Status2: 00000000\n";
        const QByteArray date = "Date: Sat, 6 Aug 2011 10:00:00 +0200\n";
        const auto flags = [](const char *value) {
            return "<key>flags</key>\n<integer>" + QByteArray(value) + "</integer>\n";
        };
        QTest::newRow("none") << mail("state") << flags("0") << ann + unread + mail("state") + '\n';
        QTest::newRow("read, with bits beyond")
            << mail("state") << flags("8590195713")
            << ann + "Status: RO\nX-Mozilla-Status: 0001\nX-Mozilla-Status2: 00000000\n" + mail("state") + '\n';
        QTest::newRow("read and flagged")
            << mail("state") << flags("17")
            << ann + "Status: RO\nX-Status: F\nX-Mozilla-Status: 0005\nX-Mozilla-Status2: 00000000\n" + mail("state") +
                   '\n';
        QTest::newRow("answered, deleted: never expunged")
            << mail("state") << flags("6")
            << ann + "Status: O\nX-Status: AD\nX-Mozilla-Status: 0002\nX-Mozilla-Status2: 00000000\n" + mail("state") +
                   '\n';
        QTest::newRow("all six")
            << mail("state") << flags("343")
            << ann + "Status: RO\nX-Status: ADFT\nX-Mozilla-Status: 1007\nX-Mozilla-Status2: 00000000\n" +
                   mail("state") + '\n';
        QTest::newRow("the message's own status fields replaced")
            << "Status: RO\nFrom: Ann <ann@example.com>\nx-mozilla-status : 0008\nX-Status: F\n\tD\r\n"
               "Subject: own\nX-Mozilla-Status2: 00010000\n" +
                   date + "\nStatus: RO\n"
            << flags("0") << ann + unread + "From: Ann <ann@example.com>\nSubject: own\n" + date + "\nStatus: RO\n\n";
        QTest::newRow("the received date")
            << mail("state") << flags("0") + "<key>date-received</key>\n<integer>1312700400</integer>\n"
            << "From ann@example.com Sun Aug  7 07:00:00 2011\n" + unread + mail("state") + '\n';
        QTest::newRow("a sender that is not ASCII")
            << "From: J\xc3\xb6rg <j\xc3\xb6rg@example.com>\n" + date + "\nx\n"
            << flags("0")
            << "From MAILER-DAEMON Sat Aug  6 08:00:00 2011\n" + unread +
                   "From: J\xc3\xb6rg <j\xc3\xb6rg@example.com>\n" + date + "\nx\n\n";
        const QByteArray longAddress = "<" + QByteArray(20000, 'a') + "@example.com>";
        QTest::newRow("a 20 KB sender") << "Return-Path: " + longAddress + "\n" + date + "\nx\n"
                                        << flags("0")
                                        << "From MAILER-DAEMON Sat Aug  6 08:00:00 2011\n" + unread +
                                               "Return-Path: " + longAddress + "\n" + date + "\nx\n\n";
    }
    void keepsTheMessageState()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, plist);
        QFETCH(QByteArray, written);
        const QString source = src("Box.mbox/1.emlx");
        QVERIFY(TestFiles::write(source, emlx(message, TestFiles::propertyList(plist))));
        RunOptions mbox = mailboxesIn(dest(), OutputFormat::Mbox);
        mbox.mboxStatus = true;
        QVERIFY(convertAll({source}, mbox).succeeded());
        QCOMPARE(TestFiles::read(dest() + "/Box"), written);
    }

    // Mailboxes as desktop clients find them: the store's inbox as "Inbox", a mailbox that holds
    // others as an mbox file (empty without messages of its own) beside its ".sbd" folder, an
    // account's folder too; a mailbox file that cannot be put in place fails each of its messages
    // by name. Files are listed with the count of their messages.
    void laysOutMailboxes_data()
    {
        QTest::addColumn<QStringList>("firstRun");
        QTest::addColumn<QStringList>("secondRun");
        QTest::addColumn<QString>("folderInTheWay");
        QTest::addColumn<QStringList>("failed");
        QTest::addColumn<QStringList>("files");
        const QString inbox = "Mail/V10/ACCT-1/INBOX.mbox/Messages/1.emlx";
        const QString alpha = "Mail/V10/ACCT-1/Projects.mbox/Alpha.mbox/Messages/5.emlx";
        const QString projects = "Mail/V10/ACCT-1/Projects.mbox/Messages/6.emlx";
        QTest::newRow("the inbox as Inbox")
            << QStringList{inbox} << QStringList() << QString() << QStringList() << QStringList{"Inbox 1"};
        QTest::newRow("INBOX beside an Inbox of its own: numbered apart")
            << QStringList{inbox, "Mail/V10/ACCT-1/Inbox.mbox/Messages/2.emlx"} << QStringList() << QString()
            << QStringList() << QStringList{"Inbox 1", "Inbox (2) 1"};
        QTest::newRow("an empty parent") << QStringList{alpha} << QStringList() << QString() << QStringList()
                                         << QStringList{"Projects 0", "Projects.sbd/Alpha 1"};
        QTest::newRow("a parent that gets a message later")
            << QStringList{alpha} << QStringList{projects, alpha} << QString() << QStringList()
            << QStringList{"Projects 1", "Projects.sbd/Alpha 1"};
        QTest::newRow("accounts as parents")
            << QStringList{inbox, "Mail/V10/ACCT-2/INBOX.mbox/Messages/2.emlx"} << QStringList() << QString()
            << QStringList() << QStringList{"ACCT-1 0", "ACCT-1.sbd/Inbox 1", "ACCT-2 0", "ACCT-2.sbd/Inbox 1"};
        QTest::newRow("a mailbox that cannot be put in place")
            << QStringList{projects, "Mail/V10/ACCT-1/Projects.mbox/Messages/7.emlx", inbox} << QStringList()
            << "Projects/in the way" << QStringList{projects, "Mail/V10/ACCT-1/Projects.mbox/Messages/7.emlx"}
            << QStringList{"Inbox 1", "Projects/in the way/x 0"};
    }
    void laysOutMailboxes()
    {
        QFETCH(QStringList, firstRun);
        QFETCH(QStringList, secondRun);
        QFETCH(QString, folderInTheWay);
        QFETCH(QStringList, failed);
        QFETCH(QStringList, files);
        if (!folderInTheWay.isEmpty())
            QVERIFY(TestFiles::write(dest() + '/' + folderInTheWay + "/x", {}));
        const auto run = [this](const QStringList &relative) {
            QStringList sources;
            for (const QString &path : relative) {
                sources << src(path);
                TestFiles::write(sources.last(), emlx(mail(path.toUtf8())));
            }
            return convertAll(sources, mailboxesIn(dest(), OutputFormat::Mbox));
        };
        RunReport report = run(firstRun);
        if (!secondRun.isEmpty())
            report = run(secondRun);
        QStringList failures;
        for (const MessageNote &failure : std::as_const(report.failures))
            failures << failure.source;
        QStringList expectedFailures;
        for (const QString &path : std::as_const(failed))
            expectedFailures << src(path);
        QCOMPARE(failures, expectedFailures);
        QCOMPARE(report.converted + report.failures.size(), (secondRun.isEmpty() ? firstRun : secondRun).size());
        QStringList written;
        for (const QString &file : outputFiles())
            written << file.mid(dest().size() + 1) + ' ' +
                           QString::number(TestFiles::read(file).count("From ann@example.com "));
        QCOMPARE(written, files);
    }

    // Python's mailbox module and Dovecot, each run as it is, find every message as its .eml file
    // holds it, and each of the mail client's states: Python in the Status and X-Status headers,
    // Dovecot as its flags (it hides those headers). The desktop client's X-Mozilla-Status is in
    // the text.
    void readersFindEveryState_data()
    {
        QTest::addColumn<quint64>("flags");
        QTest::addColumn<QString>("byPython");
        QTest::addColumn<QString>("byDovecot");
        QTest::newRow("unread") << quint64(0) << "O"
                                << "";
        QTest::newRow("read") << quint64(1) << "RO"
                              << "\\Seen";
        QTest::newRow("answered") << quint64(4) << "OA"
                                  << "\\Answered";
        QTest::newRow("flagged") << quint64(16) << "OF"
                                 << "\\Flagged";
        QTest::newRow("deleted") << quint64(2) << "OD"
                                 << "\\Deleted";
        QTest::newRow("draft") << quint64(64) << "OT"
                               << "\\Draft";
        QTest::newRow("forwarded") << quint64(256) << "O"
                                   << "";
        QTest::newRow("all") << quint64(343) << "ROADFT"
                             << "\\Answered \\Flagged \\Deleted \\Seen \\Draft";
    }
    void readersFindEveryState()
    {
#ifdef Q_OS_WIN
        QSKIP("no Python nor Dovecot here; make test-windows compares the mailboxes with the Linux build's");
#endif
        QFETCH(quint64, flags);
        QFETCH(QString, byPython);
        QFETCH(QString, byDovecot);
        const StatesAgainstEml run = convertStatesAgainstEml(OutputFormat::Mbox, {flags});
        QVERIFY(run.boxes.succeeded());
        QCOMPARE(run.eml.size(), 2);
        const QStringList mailboxes{run.destination + "/Inbox", run.destination + "/Projects.sbd/Alpha"};
        const QByteArray status = mboxStatusHeaders(flags);
        const QByteArray desktopStatus = status.mid(status.indexOf("X-Mozilla-Status:"));
        const QByteArray unread = mboxStatusHeaders(0);
        QStringList python = readBackByPython("mbox", mailboxes, true);
        for (QString &message : python)
            message = QString::fromUtf8(unquotedMboxrd(message.toUtf8()));
        QCOMPARE(python, QStringList({mailboxes[0] + '\t' + byPython + '\t' + status + run.eml[0],
                                      mailboxes[1] + "\tO\t" + unread + run.eml[1]}));
        if (const QString missing = dovecotMissing(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        QStringList dovecot = readBackByDovecot("mbox", run.destination, "INBOX") +
                              readBackByDovecot("mbox", run.destination, "Projects.sbd/Alpha");
        for (QString &message : dovecot)
            message = QString::fromUtf8(unquotedMboxrd(message.toUtf8()));
        QCOMPARE(dovecot, QStringList({byDovecot + '\t' + desktopStatus + run.eml[0],
                                       "\t" + unread.mid(unread.indexOf("X-Mozilla-Status:")) + run.eml[1]}));
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
