#include "MailboxReadBack.h"
#include "RunFixture.h"
#include "TestFiles.h"
#include "convert/ConversionRun.h"

#include <QDir>
#include <QFile>
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
    void initTestCase()
    {
#ifdef Q_OS_WIN
        QSKIP("Maildir names hold ':', which Windows takes in no file name: emlx2eml refuses the format there");
#endif
    }
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
        QTest::newRow("forwarded") << QByteArray("256") << "P";
        QTest::newRow("all six") << QByteArray("343") << "DFPRST";
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

    // --update keeps what a mail program did since: a file of the message's unique name and size
    // in cur/ or new/ stays whatever its flags; a file cut short, a link or a named pipe in its
    // place (never opened) or a changed source is written again, replacing it. The unique name comes from the message's
    // place in the store, so a store moved elsewhere is not written twice.
    void updateKeepsWhatIsThere_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("upToDate");
        QTest::newRow("nothing changed") << "" << 2;
        QTest::newRow("flags set in a mail program") << "flag" << 2;
        QTest::newRow("moved to new/") << "new" << 2;
        QTest::newRow("store moved elsewhere") << "move store" << 2;
        QTest::newRow("cut short") << "cut" << 1;
        QTest::newRow("a link in its place") << "link" << 1;
        QTest::newRow("a named pipe in its place") << "pipe" << 1;
        QTest::newRow("source changed") << "rewrite" << 1;
    }
    void updateKeepsWhatIsThere()
    {
        QFETCH(QString, change);
        QStringList sources{src("Store/Box.mbox/1.emlx"), src("Store/Box.mbox/2.emlx")};
        for (const QString &source : sources)
            QVERIFY(TestFiles::write(source, emlx(mail(source.right(6).toUtf8()))));
        RunOptions options = mailboxesIn(dest(), OutputFormat::Maildir);
        options.update = true;
        const RunReport first = convertAll(sources, options);
        QCOMPARE(first.converted, 2);
        const QString file = first.outputs[0].target; // "<unique>:2,S"
        QString kept = file;
        const QString outside = root() + "/outside";
        if (change == "flag")
            QVERIFY(QFile::rename(file, kept = QString(file).replace(":2,S", ":2,FS")));
        if (change == "new")
            QVERIFY(QFile::rename(file, kept = QString(file).replace("/cur/", "/new/").section(':', 0, 0)));
        if (change == "move store") {
            QVERIFY(QDir().rename(src("Store"), src("Moved")));
            sources.replaceInStrings("/Store/", "/Moved/");
        }
        if (change == "cut")
            QVERIFY(TestFiles::write(file, mail("1.emlx").left(10)));
        if (change == "link") {
#ifdef Q_OS_WIN
            QSKIP(TestFiles::noSymbolicLinks);
#endif
            QVERIFY(TestFiles::write(outside, mail("1.emlx")));
            QVERIFY(QFile::remove(file) && QFile::link(outside, file));
        }
        if (change == "pipe") {
#ifdef Q_OS_WIN
            QSKIP(TestFiles::noNamedPipes);
#endif
            QVERIFY(QFile::remove(file) && TestFiles::makeNamedPipe(file));
        }
        if (change == "rewrite")
            QVERIFY(TestFiles::write(sources[0], emlx(mail("changed"))));
        const QStringList before = outputFiles();

        const RunReport again = convertAll(sources, options);
        QVERIFY(again.succeeded());
        QTEST(again.upToDate, "upToDate");
        QCOMPARE(again.converted, 2 - again.upToDate);
        QCOMPARE(outputFiles(), before); // no message twice, nothing undone
        QCOMPARE(TestFiles::read(kept), change == "rewrite" ? mail("changed") : mail("1.emlx"));
        QVERIFY(!QFileInfo(kept).isSymLink());
        QVERIFY(change != "link" || TestFiles::read(outside) == mail("1.emlx"));
    }
};

QTEST_GUILESS_MAIN(MaildirFoldersTest)
#include "tst_maildirfolders.moc"
