#include "MailboxReadBack.h"
#include "RunFixture.h"
#include "TestFiles.h"
#include "convert/ConversionRun.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <algorithm>

using TestFiles::emlx;
using TestFiles::mail;

// --format maildir: one Maildir per mailbox, read back by Python's mailbox module.
class MaildirFoldersTest : public QObject, RunFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init() { renew(); }

    // Python's mailbox module finds in the Maildirs exactly the messages that the .eml files of
    // the same run hold: partial messages put back whole, alike names, a mailbox that holds
    // another, and a message that fails left out; nothing stays in tmp/.
    void holdsWhatEmlFilesHold_data()
    {
        QTest::addColumn<int>("jobs");
        QTest::newRow("one job") << 1;
        QTest::newRow("four jobs") << 4;
    }
    void holdsWhatEmlFilesHold()
    {
        QFETCH(int, jobs);
        AgainstEml run = convertAgainstEml(OutputFormat::Maildir, jobs);
        QCOMPARE(run.boxes.failures.size(), 1);
        QCOMPARE(run.boxes.failures[0].source, src("INBOX.mbox/Messages/3.emlx"));
        QCOMPARE(run.eml.converted, 5);
        QVERIFY(TestFiles::read(run.eml.outputs[1].target).contains("From inside a part"));
        QCOMPARE(run.eml.outputs[2].target, dest() + "/eml/INBOX/alike 06-08-2011 (3).eml");
        QCOMPARE(run.boxes.outputs.size(), run.eml.outputs.size());
        QStringList mailboxes;
        for (int i = 0; i < run.boxes.outputs.size(); ++i) {
            QCOMPARE(run.boxes.outputs[i].source, run.eml.outputs[i].source);
            const QString mailbox = QDir::cleanPath(QFileInfo(run.boxes.outputs[i].target).path() + "/..");
            if (!mailboxes.contains(mailbox))
                mailboxes << mailbox;
        }
        QCOMPARE(mailboxes, QStringList({run.destination + "/INBOX", run.destination + "/Projects/Alpha",
                                         run.destination + "/Projects"}));
#ifdef Q_OS_WIN
        QSKIP("no Python here to read the mailboxes back; make test-windows compares them with the Linux build's");
#endif
        QStringList readBack = readBackByPython("maildir", mailboxes);
        std::sort(run.expected.begin(), run.expected.end());
        std::sort(readBack.begin(), readBack.end());
        QCOMPARE(readBack, run.expected);
        for (const QString &file : TestFiles::filesBelow(run.destination)) {
            const QString below = file.mid(run.destination.size());
            QVERIFY2(!below.contains("/.emlx2eml-") && !below.contains("/tmp/"), qPrintable(below));
        }
    }

    // Python's mailbox module and Dovecot, each run as it is, find every message as its .eml file
    // holds it, and each of the mail client's states in the file name's letters.
    void readersFindEveryState_data()
    {
        QTest::addColumn<quint64>("flags");
        QTest::addColumn<QString>("byPython");
        QTest::addColumn<QString>("byDovecot");
        QTest::newRow("unread") << quint64(0) << ""
                                << "";
        QTest::newRow("read") << quint64(1) << "S"
                              << "\\Seen";
        QTest::newRow("answered") << quint64(4) << "R"
                                  << "\\Answered";
        QTest::newRow("flagged") << quint64(16) << "F"
                                 << "\\Flagged";
        QTest::newRow("deleted") << quint64(2) << "T"
                                 << "\\Deleted";
        QTest::newRow("draft") << quint64(64) << "D"
                               << "\\Draft";
        QTest::newRow("all five") << quint64(87) << "DFRST"
                                  << "\\Answered \\Flagged \\Deleted \\Seen \\Draft";
    }
    void readersFindEveryState()
    {
#ifdef Q_OS_WIN
        QSKIP("no Python nor Dovecot here; make test-windows compares the Maildirs with the Linux build's");
#endif
        QFETCH(quint64, flags);
        QFETCH(QString, byPython);
        QFETCH(QString, byDovecot);
        const StatesAgainstEml run = convertStatesAgainstEml(OutputFormat::Maildir, {flags});
        QVERIFY(run.boxes.succeeded());
        QCOMPARE(run.eml.size(), 2);
        QStringList python =
            readBackByPython("maildir", {run.destination + "/INBOX", run.destination + "/Projects/Alpha"}, true);
        for (QString &message : python)
            message = message.section('\t', 1); // the file's own name, from its unique part, aside
        QCOMPARE(python, QStringList({byPython + '\t' + run.eml[0], "\t" + run.eml[1]}));
        if (const QString missing = dovecotMissing(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        const QStringList dovecot = readBackByDovecot("maildir", run.destination, "INBOX") +
                                    readBackByDovecot("maildir", run.destination, "Projects/Alpha");
        QCOMPARE(dovecot, QStringList({byDovecot + '\t' + run.eml[0], "\t" + run.eml[1]}));
    }

    // The mail client's read, answered, flagged, draft and deleted bits become the file name's
    // letters, the same name in every run; the file takes the received date; a message whose
    // flags changed replaces its file instead of standing there twice.
    void keepsTheMessageState_data()
    {
        QTest::addColumn<QByteArray>("flags");
        QTest::addColumn<QString>("letters");
        QTest::newRow("none") << QByteArray("0") << "";
        QTest::newRow("read, with bits beyond") << QByteArray("8590195713") << "S";
        QTest::newRow("read and flagged") << QByteArray("17") << "FS";
        QTest::newRow("answered, deleted") << QByteArray("6") << "RT";
        QTest::newRow("all five") << QByteArray("87") << "DFRST";
    }
    void keepsTheMessageState()
    {
        QFETCH(QByteArray, flags);
        QFETCH(QString, letters);
        const QByteArray plist = TestFiles::propertyList("<key>date-received</key>\n<integer>1312624800</integer>\n"
                                                         "<key>flags</key>\n<integer>" +
                                                         flags + "</integer>\n");
        const QString source = src("Box.mbox/1.emlx");
        QVERIFY(TestFiles::write(source, emlx(mail("state"), plist)));
        const RunOptions maildir = mailboxesIn(dest(), OutputFormat::Maildir);

        const RunReport inMaildir = convertAll({source}, maildir);
        QVERIFY(inMaildir.succeeded());
        const QString file = inMaildir.outputs[0].target;
        QVERIFY2(file.startsWith(dest() + "/Box/cur/") && file.endsWith(":2," + letters), qPrintable(file));
        QCOMPARE(QFileInfo(file).lastModified().toSecsSinceEpoch(), 1312624800);
        QVERIFY(convertAll({source}, maildir).outputs[0].target == file); // the same name in every run
        QVERIFY(TestFiles::write(source, emlx(mail("state"), TestFiles::propertyList("<key>flags</key><integer>8"
                                                                                     "</integer>"))));
        const QString unflagged = convertAll({source}, maildir).outputs[0].target;
        QCOMPARE(TestFiles::filesBelow(dest()), QStringList{unflagged}); // replaced, not doubled
    }

    // --update: a file of the same unique name and flags stays; only a changed message is written again.
    void updateLeavesFinishedMailboxesAlone()
    {
        const QStringList sources{src("Box.mbox/1.emlx"), src("Box.mbox/2.emlx")};
        const QDateTime old = QDateTime::currentDateTime().addDays(-2);
        for (const QString &source : sources) {
            QVERIFY(TestFiles::write(source, emlx(mail(source.right(6).toUtf8()))));
            QVERIFY(TestFiles::setModified(source, old));
        }
        RunOptions options = mailboxesIn(dest(), OutputFormat::Maildir);
        options.update = true;
        QCOMPARE(convertAll(sources, options).converted, 2);
        const QStringList written = outputFiles();

        const RunReport again = convertAll(sources, options);
        QVERIFY(again.succeeded());
        QCOMPARE(again.upToDate, 2);
        QCOMPARE(again.converted, 0);
        QCOMPARE(outputFiles(), written);

        const QByteArray flagged = TestFiles::propertyList("<key>flags</key>\n<integer>17</integer>\n");
        QVERIFY(TestFiles::write(sources[0], emlx(mail("changed"), flagged)));
        const RunReport changed = convertAll(sources, options);
        QVERIFY(changed.succeeded());
        QCOMPARE(changed.upToDate, 1);
        QCOMPARE(changed.converted, 1);
        QByteArray everything;
        for (const QString &file : outputFiles())
            everything += TestFiles::read(file);
        QVERIFY(everything.contains(mail("changed")));
    }
};

QTEST_GUILESS_MAIN(MaildirFoldersTest)
#include "tst_maildirfolders.moc"
