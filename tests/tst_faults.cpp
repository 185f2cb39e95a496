#include "ChildProcess.h"
#include "TestFiles.h"
#include "convert/ConversionRun.h"
#include "list/FolderScan.h"
#include "platform/PathHelpers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using TestFiles::emlx;
using TestFiles::messageWith;

// What the converter does when its input is hostile or its disk fails: every message comes
// out whole or is reported by name, nothing is written outside the destination.
class FaultsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &relative) const { return m_dir->filePath(relative); }

    static QByteArray largeMessage() { return messageWith("Subject: large") + QByteArray(400000, 'z'); }
    static QStringList tooLong() { return {"large.emlx", "File name too long", "1 converted, 1 failed"}; }

    // A small message and, at `large` below the test folder, the one to be refused; and the
    // destination folder.
    void writeSmallAndLarge(const QString &large, const QByteArray &largeMessage) const
    {
        QVERIFY(TestFiles::write(path("src/small.emlx"), emlx(messageWith("Subject: small"))));
        QVERIFY(TestFiles::write(path(large), emlx(largeMessage)));
        QVERIFY(QDir().mkpath(path("out")));
    }
    // Converts the source folder into `out` with `options` through a shell that sets `limit` first;
    // the run ends with status `exitCode`, its errors hold `errorsHave`, and only the files named
    // `written` are left.
    void checkRefusal(const QString &out, const QString &limit, const QStringList &errorsHave,
                      const QStringList &written, const QStringList &options = {}, int exitCode = 1) const
    {
        const ChildResult child = runChild(
            "/bin/sh", QStringList{"-c", limit + "exec \"$0\" \"$@\"", EMLX2EML_PATH, "-o", out, path("src")} + options,
            30000);
        QFile::setPermissions(path("out"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(child.finished);
        QCOMPARE(child.exitStatus, QProcess::NormalExit);
        QCOMPARE(child.exitCode, exitCode);
        for (const QString &part : errorsHave)
            QVERIFY2(child.errors.contains(part), qPrintable(child.errors));
        QStringList names;
        for (const QString &file : TestFiles::filesBelow(path("out")))
            names << QFileInfo(file).fileName();
        QCOMPARE(names, written);
    }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void hostileHeadersGiveOneFileInItsFolder_data()
    {
        QTest::addColumn<QByteArray>("headers");
        QTest::newRow("1 MB subject") << "Subject: " + QByteArray(1 << 20, 'x') + "\nDate: Sat, 6 Aug 2011 10:00 +0000";
        QTest::newRow("header block without end")
            << QByteArray("Subject: no end\nFrom: a@b\nX-Filler: ") + QByteArray(300000, 'y');
        QTest::newRow("NUL bytes") << QByteArray("Subject: a\0b\nFrom: c\0d <e@f>", 27);
        QTest::newRow("invalid UTF-8") << QByteArray("Subject: \xff\xfe\xc3(\xe2\x82 bad\nFrom: \x80\x81");
        QTest::newRow("unknown charset") << QByteArray("Subject: =?x-no-such-charset?B?SGVsbG8=?=");
        QTest::newRow("broken base64") << QByteArray("Subject: =?utf-8?B?@@@###?= =?utf-8?Q?=ZZ?=");
        QTest::newRow("year 0") << QByteArray("Subject: y0\nDate: Mon, 1 Jan 0000 00:00:00 +0000");
        QTest::newRow("year 9999") << QByteArray("Subject: y9999\nDate: Fri, 31 Dec 9999 23:59:59 -1200");
        QTest::newRow("year one million") << QByteArray("Subject: y1e6\nDate: 1 Jan 1000000 00:00:00 +0000");
        QTest::newRow("zone 99 hours ahead") << QByteArray("Subject: tz\nDate: Sat, 6 Aug 2011 10:00:00 +9959");
        QTest::newRow("climbing out") << QByteArray("Subject: ../../etc/x\nFrom: ../../..");
        QTest::newRow("absolute path") << QByteArray("Subject: /absolute/path\nFrom: /etc/passwd");
        QTest::newRow("drive path") << QByteArray("Subject: C:\\x\\y\nFrom: \\\\server\\share");
        QTest::newRow("dots only") << QByteArray("Subject: ..\nFrom: .");
    }
    void hostileHeadersGiveOneFileInItsFolder()
    {
        QFETCH(QByteArray, headers);
        const QByteArray message = messageWith(headers);
        const QString source = path("src/Box/1.emlx");
        QVERIFY(TestFiles::write(source, emlx(message)));
        for (const NamingSchemeRow &scheme : namingSchemes) {
            if (!schemeReadsHeaders(scheme.scheme))
                continue;
            const QString destination = path(QStringLiteral("out-") + scheme.name);
            QVERIFY(convertAll({source}, {destination, scheme.scheme, false}).succeeded());
            const QStringList written = TestFiles::filesBelow(destination);
            QCOMPARE(written.size(), 1);
            QCOMPARE(GetFolderPart(written[0]), destination + '/' + dropPathRoot(GetFolderPart(source)));
            QVERIFY2(written[0].endsWith(".eml"), qPrintable(written[0]));
            QCOMPARE(TestFiles::read(written[0]), message);
        }
    }

    void awkwardFileNamesConvert_data()
    {
        QTest::addColumn<QString>("name");
        QString printable;
        for (char c = ' '; c <= '~'; ++c)
            if (c != '/')
                printable += QLatin1Char(c);
        QTest::newRow("every printable ASCII character") << printable + ".emlx";
        QTest::newRow("many scripts") << QString::fromUtf8("Входящие Εισερχόμενα 收件箱 البريد 📧😀.emlx");
        QTest::newRow("blanks around") << QStringLiteral(" spaced .emlx");
        QTest::newRow("leading dash") << QStringLiteral("-rf.emlx");
    }
    void awkwardFileNamesConvert()
    {
        QFETCH(QString, name);
#ifdef Q_OS_WIN
        const QString refused = QStringLiteral("\\:*?\"<>|");
        if (std::any_of(refused.begin(), refused.end(), [&name](QChar c) { return name.contains(c); }))
            QSKIP("Windows file names hold none of \\ : * ? \" < > |");
#endif
        const QByteArray message = messageWith("Subject: awkward");
        QVERIFY(TestFiles::write(path("src/" + name), emlx(message)));
        const FolderScanResult scan = scanForMessageFiles(path("src"));
        QCOMPARE(scan.messageFiles, QStringList({path("src/" + name)}));
        const RunReport report = convertAll(scan.messageFiles, {path("out"), NamingScheme::Original, false});
        QVERIFY(report.succeeded());
        QCOMPARE(TestFiles::filesBelow(path("out")).size(), 1);
        QCOMPARE(TestFiles::read(report.outputs[0].target), message);
        QCOMPARE(GetFileNamePart(report.outputs[0].target), CleanOutputName(name.chopped(5) + ".eml"));
    }

    // Mailbox folders named "...mbox" once led the mailboxes layout up and out of the destination.
    void mailboxNamesNeverClimbOut()
    {
        QString mailboxes = "src";
        for (const char *name : {"...mbox", "..mbox", ".mbox", " .. .imapmbox", "...mbox", "...mbox"})
            mailboxes += '/' + QString(name);
        const QByteArray message = messageWith("Subject: climbing");
        QVERIFY(TestFiles::write(path(mailboxes + "/Messages/1.emlx"), emlx(message)));
        RunOptions options{path("out/inner"), NamingScheme::Original, false};
        options.layout = OutputLayout::Mailboxes;
        const RunReport report = convertAll({path(mailboxes + "/Messages/1.emlx")}, options);
        QVERIFY(report.succeeded());
        QCOMPARE(TestFiles::filesBelow(path("out")), QStringList{path("out/inner/__/_/_/____/__/__/1.eml")});
        QCOMPARE(TestFiles::read(report.outputs[0].target), message);
        QVERIFY(!report.warnings.isEmpty());
    }

    // A link below the destination leads nowhere: the messages below it fail by name, the link's
    // target stays untouched. A link at the output file itself is replaced, and the destination
    // may be reached through a link above it.
    void linksInTheDestinationAreNotFollowed()
    {
#ifdef Q_OS_WIN
        QSKIP(TestFiles::noSymbolicLinks);
#endif
        const QStringList sources{path("src/Sent.mbox/1.emlx"), path("src/Sent.mbox/Old.mbox/2.emlx"),
                                  path("src/Inbox.mbox/3.emlx"), path("src/Drafts.mbox/4.emlx")};
        for (const QString &source : sources)
            QVERIFY(TestFiles::write(source, emlx(messageWith("Subject: linked"))));
        QVERIFY(TestFiles::write(path("elsewhere/3.eml"), "kept"));
        QVERIFY(QDir().mkpath(path("real/out/Inbox")));
        QVERIFY(QDir().mkpath(path("real/out/Drafts")));
        QVERIFY(QFile::link(path("real"), path("linked")));
        QVERIFY(QFile::link(path("elsewhere"), path("real/out/Sent")));
        QVERIFY(QFile::link(path("elsewhere/3.eml"), path("real/out/Inbox/3.eml")));
        QVERIFY(QFile::link(path("elsewhere/4.eml"), path("real/out/Drafts/4.eml")));
        RunOptions options{path("linked/out"), NamingScheme::Original, false};
        options.layout = OutputLayout::Mailboxes;

        const RunReport report = convertAll(sources, options);
        QCOMPARE(report.converted, 2);
        QCOMPARE(report.failures.size(), 2);
        for (const MessageNote &failure : report.failures)
            QVERIFY2(failure.text.contains("is a link; nothing is written through links"), qPrintable(failure.text));
        QCOMPARE(TestFiles::filesBelow(path("elsewhere")), QStringList{path("elsewhere/3.eml")});
        QCOMPARE(TestFiles::read(path("elsewhere/3.eml")), QByteArray("kept"));
        for (const QString &output : {path("real/out/Inbox/3.eml"), path("real/out/Drafts/4.eml")})
            QVERIFY(QFileInfo(output).isFile() && !QFileInfo(output).isSymLink());
    }

    // A folder of the destination checked and made, then swapped for a link before the message is
    // written into it: the write goes nowhere through the link.
    void aFolderSwappedForALinkBeforeTheWriteGetsNothing()
    {
#ifdef Q_OS_WIN
        QSKIP(TestFiles::noSymbolicLinks);
#endif
        QVERIFY(TestFiles::write(path("src/Box.mbox/1.emlx"), emlx(messageWith("Subject: swapped"))));
        QVERIFY(QDir().mkpath(path("elsewhere")));
        const QString folder = path("out/Box");
        bool swapped = false;
        RunCallbacks callbacks;
        callbacks.yield = [&] { // the run yields before each message and again before its write
            if (swapped || !QFileInfo(folder).isDir())
                return;
            swapped = QDir().rename(folder, path("moved")) && QFile::link(path("elsewhere"), folder);
        };
        RunOptions options{path("out"), NamingScheme::Original, false};
        options.layout = OutputLayout::Mailboxes;
        const RunReport report = convertAll({path("src/Box.mbox/1.emlx")}, options, callbacks);
        QVERIFY(swapped);
        QCOMPARE(report.converted, 0);
        QCOMPARE(report.failures.size(), 1);
        QVERIFY2(report.failures[0].text.contains("is a link; nothing is written through links"),
                 qPrintable(report.failures[0].text));
        QCOMPARE(TestFiles::filesBelow(path("elsewhere")), QStringList());
    }

    void manyFilesInOneFolder()
    {
#ifdef Q_OS_WIN
        constexpr int count = 1000; // Wine looks through the whole folder for every name it opens
#else
        constexpr int count = 10000;
#endif
        const QByteArray file = emlx(messageWith("Subject: same subject\nDate: Sat, 6 Aug 2011 10:00 +0000"));
        for (int i = 0; i < count; ++i)
            QVERIFY(TestFiles::write(path(QStringLiteral("src/%1.emlx").arg(i)), file));
        const FolderScanResult scan = scanForMessageFiles(path("src"));
        QCOMPARE(scan.messageFiles.size(), count);
        const RunReport report = convertAll(scan.messageFiles, {path("out"), NamingScheme::SubjectDate, false});
        QVERIFY(report.succeeded());
        QCOMPARE(report.converted, count);
        QCOMPARE(TestFiles::filesBelow(path("out")).size(), count); // every one numbered apart, none overwritten
    }

    // Under a file-size limit (which holds even for root), past the longest path, or refused by
    // permissions, the program fails the messages concerned, names them, and leaves no partial or
    // temporary file.
    void fileSizeLimitFailsOnlyTheLargeMessage_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("written");
        QTest::newRow(".eml files") << QStringList() << QStringList{"a.eml", "small.eml"};
        // The mailbox is cut back to the end of the message before, and goes on after it.
        QTest::newRow("one mbox file") << QStringList{"--format", "mbox"} << QStringList{"src"};
    }
    void fileSizeLimitFailsOnlyTheLargeMessage()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows has no file-size limit for a process (ulimit -f)");
#endif
        QFETCH(QStringList, options);
        QFETCH(QStringList, written);
        QVERIFY(TestFiles::write(path("src/a.emlx"), emlx(messageWith("Subject: a"))));
        // In short lines: written in small pieces, which gather before they go to the file.
        writeSmallAndLarge("src/large.emlx",
                           messageWith("Subject: large") + QByteArray(39, 'z').append('\n').repeated(10000));
        checkRefusal(path("out"), "ulimit -f 200 && ", {"large.emlx", "2 converted, 1 failed"}, written, options);
        if (options.isEmpty())
            return;
        const QByteArray mailbox = TestFiles::read(TestFiles::filesBelow(path("out")).value(0));
        QVERIFY(mailbox.startsWith("From MAILER-DAEMON "));
        QCOMPARE(mailbox.count("\n\nFrom MAILER-DAEMON "), 1);
        QVERIFY(mailbox.contains("\nSubject: a\n\nThe body.\n\nFrom "));
        QVERIFY(mailbox.endsWith("\nSubject: small\n\nThe body.\n\n"));
    }

    // Messages of many mailboxes, one after another from each, under a limit of open files that
    // is far below one file for each mailbox.
    void manyMailboxesUnderAnOpenFileLimit()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows has no limit of open files for a process (ulimit -n)");
#endif
        QStringList sources;
        for (int round = 0; round < 2; ++round)
            for (int box = 0; box < 60; ++box) {
                sources << path(QStringLiteral("src/B%1.mbox/Messages/%2.emlx").arg(box).arg(round + 1));
                QVERIFY(TestFiles::write(sources.last(), emlx(messageWith("Subject: m"))));
            }
        const ChildResult child =
            runChild("/bin/sh",
                     QStringList{"-c", "ulimit -n 40 && exec \"$0\" \"$@\"", EMLX2EML_PATH, "-j", "1", "--format",
                                 "mbox", "--layout", "mailboxes", "-o", path("out")} +
                         sources,
                     60000);
        QVERIFY(child.finished);
        QVERIFY2(child.errors.contains("120 converted, 0 failed"), qPrintable(child.errors));
        const QStringList mailboxes = TestFiles::filesBelow(path("out"));
        QCOMPARE(mailboxes.size(), 60);
        for (const QString &mailbox : mailboxes)
            QCOMPARE(TestFiles::read(mailbox).count("\nSubject: m\n"), 2);
    }

    void fileSizeLimitFailsAPartialMessageOnceItsAttachmentIsBack()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows has no file-size limit for a process (ulimit -f)");
#endif
        // Small as stored, large once its attachment is back.
        QVERIFY(TestFiles::write(path("src/Box.mbox/Attachments/9/1/x.pdf"), QByteArray(400000, 'a')));
        writeSmallAndLarge("src/Box.mbox/Messages/9.partial.emlx",
                           "Subject: large\nContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: "
                           "application/pdf; name=x.pdf\nContent-Transfer-Encoding: base64\n"
                           "X-Apple-Content-Length: 540000\n\n--b--\n");
        checkRefusal(path("out"), "ulimit -f 200 && ", {"9.partial.emlx", "File too large", "1 converted, 1 failed"},
                     {"small.eml"});
    }

    void overLongPathFailsOnlyItsMessage()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows paths reach 32,767 characters: the 4,096-byte limit of this test is Linux's");
#endif
        // About 4,000 bytes of folders: the source can be made, its mirror below the destination cannot.
        QString large = "src";
        while (large.size() < 4000)
            large += '/' + QString(200, QLatin1Char('d'));
        writeSmallAndLarge(large + "/large.emlx", largeMessage());
        checkRefusal(path("out") + '/' + QString(100, QLatin1Char('o')), "", tooLong(), {"small.eml"});
    }

    void pathAtTheLimitWhoseTemporaryFileIsOverItFailsOnlyItsMessage()
    {
#ifdef Q_OS_WIN
        QSKIP("Windows paths reach 32,767 characters: the 4,096-byte limit of this test is Linux's");
#endif
        // The mirrored folder, 4,085 bytes long, can be made; a temporary file in it cannot.
        const QString out = path("out");
        QString large = "src";
        while (out.size() + path(large).size() < 3850)
            large += '/' + QString(200, QLatin1Char('d'));
        large += '/' + QString(4085 - out.size() - path(large).size() - 1, QLatin1Char('e')) + "/large.emlx";
        writeSmallAndLarge(large, largeMessage());
        checkRefusal(out, "", tooLong(), {"small.eml"});
    }

    void unreadableSourceFailsOnlyItsMessage()
    {
        if (const char *reason = TestFiles::whyPermissionsRefuseNothing())
            QSKIP(reason);
        writeSmallAndLarge("src/large.emlx", largeMessage());
        QFile::setPermissions(path("src/large.emlx"), QFileDevice::WriteOwner);
        checkRefusal(path("out"), "", {"large.emlx", "1 converted, 1 failed"}, {"small.eml"});
    }

    void readOnlyDestinationFailsEveryMessage()
    {
        if (const char *reason = TestFiles::whyPermissionsRefuseNothing())
            QSKIP(reason);
        writeSmallAndLarge("src/large.emlx", largeMessage());
        QFile::setPermissions(path("out"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        checkRefusal(path("out"), "", {"cannot create folder", "0 converted, 2 failed"}, {});
    }

    // Pipes, devices and kernel files are never opened for reading: each is named, nothing waits.
    void specialFilesAreRefusedWithoutBlocking_data()
    {
        QTest::addColumn<QStringList>("sources"); // relative to the test folder, or absolute
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("errorsHave");
        QTest::addColumn<int>("written");
        const QString pipeKind = TestFiles::specialKind("a named pipe");
        const QString pipe = "x.emlx\" is not a regular file (" + pipeKind + ')';
        const QString linked = "to pipe.emlx\" is not a regular file (" + pipeKind + ')';
        QTest::newRow("scanned folder") << QStringList{"src"} << 1 << QStringList{pipe, linked, "2 converted"} << 2;
        QTest::newRow("pipe given") << QStringList{"src/Box/x.emlx", "src/Box/ok.emlx"} << 1
                                    << QStringList{pipe, "1 converted, 1 failed"} << 1;
        QTest::newRow("link to a pipe given") << QStringList{"src/to pipe.emlx"} << 1 << QStringList{linked} << 0;
        QTest::newRow("pipe given, dry run")
            << QStringList{"--dry-run", "src/Box/x.emlx"} << 1 << QStringList{pipe} << 0;
#if EMLX_LINUX_IO
        QTest::newRow("device and kernel file")
            << QStringList{"/dev/zero", "/proc/self/status"} << 1
            << QStringList{"\"/dev/zero\" is not a regular file (a character device)",
                           "\"/proc/self/status\" is not a regular file (a kernel file of /proc or /sys)"}
            << 0;
#else // the systems the portable build stands for have no kernel files to tell apart
        QTest::newRow("device") << QStringList{"/dev/zero"} << 1
                                << QStringList{"\"/dev/zero\" is not a regular file (a special file)"} << 0;
#endif
        QTest::newRow("attachment linked to a pipe")
            << QStringList{"src/Box.mbox/Messages/9.partial.emlx"} << 0
            << QStringList{"part 1 (x.pdf) of the message was not found", "1 converted, 0 failed"} << 1;
    }
    void specialFilesAreRefusedWithoutBlocking()
    {
        QFETCH(QStringList, sources);
        QFETCH(int, written);
        QFETCH(QStringList, errorsHave);
        QVERIFY(TestFiles::write(path("src/Box/ok.emlx"), emlx(messageWith("Subject: ok"))));
        if (!TestFiles::makeNamedPipe(path("src/Box/x.emlx")))
            QSKIP(TestFiles::noNamedPipes);
        QVERIFY(QFile::link(path("src/Box/x.emlx"), path("src/to pipe.emlx")));
        QVERIFY(TestFiles::write(path("src/Box.mbox/Messages/9.partial.emlx"),
                                 emlx("Subject: part\nContent-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: "
                                      "application/pdf; name=x.pdf\nContent-Transfer-Encoding: base64\n"
                                      "X-Apple-Content-Length: 4\n\n--b--\n")));
        QVERIFY(QDir().mkpath(path("src/Box.mbox/Attachments/9/1")));
        QVERIFY(QFile::link(path("src/Box/x.emlx"), path("src/Box.mbox/Attachments/9/1/x.pdf")));
        const ChildResult child =
            runChild(EMLX2EML_PATH, QStringList{"-o", path("out")} + sources, 20000, m_dir->path());
        QVERIFY2(child.finished, "emlx2eml blocked");
        QTEST(child.exitCode, "exitCode");
        for (const QString &part : errorsHave)
            QVERIFY2(child.errors.contains(part), qPrintable(child.errors));
        QCOMPARE(TestFiles::filesBelow(path("out")).size(), written);
    }

    // A stop comes within one message per job, also in the middle of a large copy, and leaves
    // neither the broken-off output nor a temporary file.
    void stopsSoonOnSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("jobs");
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stoppedBy");
        QTest::newRow("SIGTERM, one job") << SIGTERM << 1 << "eml" << 143 << "SIGTERM";
        QTest::newRow("SIGINT, 256 jobs") << SIGINT << 256 << "eml" << 130 << "Ctrl+C";
#ifdef SIGHUP
        QTest::newRow("SIGHUP, 4 jobs") << SIGHUP << 4 << "eml" << 129 << "SIGHUP";
#endif
        // The message begins with a line of a million '>', which mbox quoting once took minutes over.
        QTest::newRow("SIGTERM, mbox") << SIGTERM << 1 << "mbox" << 143 << "SIGTERM";
    }
    void stopsSoonOnSignal()
    {
#ifdef Q_OS_WIN
        QSKIP(TestFiles::noSignals);
#else
        QFETCH(int, signal);
        QFETCH(int, jobs);
        QFETCH(QString, format);
        QFETCH(QString, stoppedBy);
        // 2 GB of message, quick to make as a sparse file, that takes seconds to copy; then small ones.
        const QString large = path("src/large/large.emlx");
        QVERIFY(TestFiles::write(large, "Subject: large\n\n" + QByteArray(1 << 20, '>')));
        QVERIFY(QFile::resize(large, qint64(2) << 30));
        for (int i = 0; i < 300; ++i)
            QVERIFY(
                TestFiles::write(path(QStringLiteral("src/small/%1.emlx").arg(i)), emlx(messageWith("Subject: s"))));
        // Where the large message's output goes: its own folder, or the folder of its mailbox file.
        const QString largeFolder = path("out") + '/' + dropPathRoot(path(format == "mbox" ? "src" : "src/large"));
        QProcess process;
        process.start(EMLX2EML_PATH,
                      {"-j", QString::number(jobs), "--format", format, "-o", path("out"), large, path("src/small")});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(largeFolder).isDir(), 20000); // the copy is about to start
        QTest::qWait(100);
        QElapsedTimer sinceSignal;
        sinceSignal.start();
        QVERIFY(TestFiles::askToStop(process.processId(), signal));
        const ChildResult child = waitForChild(process, 20000);
        QVERIFY2(child.finished, "emlx2eml ignored the stop");
        QVERIFY2(sinceSignal.elapsed() < 1000, qPrintable(QString::number(sinceSignal.elapsed())));
        QTEST(child.exitCode, "exitCode");
        QVERIFY2(child.errors.contains("stopped by " + stoppedBy) &&
                     child.errors.contains("the rest were not attempted"),
                 qPrintable(child.errors));
        const QStringList written = TestFiles::filesBelow(path("out"));
        QVERIFY(written.size() < 301);
        for (const QString &file : written)
            QVERIFY2(file.endsWith(".eml") && !file.contains("large") && !file.contains("/."), qPrintable(file));
#endif
    }
};

QTEST_GUILESS_MAIN(FaultsTest)
#include "tst_faults.moc"
