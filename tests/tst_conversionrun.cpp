#include "RunFixture.h"
#include "TestFiles.h"
#include "convert/ConversionRun.h"
#include "convert/output/UpdateRecord.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using TestFiles::emlx;
using TestFiles::mail;

// The run's pipeline, whatever the format: where messages go, what is reported, callbacks and
// stops, a dry run and many jobs giving what one real job gives, and a resumed run.
class ConversionRunTest : public QObject, RunFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init() { renew(); }

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
    // them a run converts; the only account of a store keeps its mailboxes at the top. Nor do two
    // mailboxes ever share a folder or a file in any format, whatever the destination's file
    // system says of letter case: the later one is numbered, with a warning.
    void mailboxesNeverMeet_data()
    {
        QTest::addColumn<QStringList>("sources"); // below src/; "@store/account" for its inbox
        QTest::addColumn<int>("format");
        QTest::addColumn<QStringList>("outputs"); // a Maildir's file up to its cur/
        QTest::addColumn<int>("warnings");
        const int eml = int(OutputFormat::Eml), mbox = int(OutputFormat::Mbox), maildir = int(OutputFormat::Maildir);
        QTest::newRow("one account of a store with two") << QStringList{"@two/A"} << eml << QStringList{"A/INBOX/5.eml"} << 0;
        QTest::newRow("both accounts of that store")
            << QStringList{"@two/A", "@two/B"} << eml << QStringList{"A/INBOX/5.eml", "B/INBOX/5.eml"} << 0;
        QTest::newRow("the only account of a store") << QStringList{"@one/C"} << eml << QStringList{"INBOX/5.eml"} << 0;
        QTest::newRow("two stores of one account each")
            << QStringList{"@one/C", "@other/D"} << eml << QStringList{"C/INBOX/5.eml", "D/INBOX/5.eml"} << 0;
        const QStringList inboxes{"Inbox.mbox/1.emlx", "INBOX.mbox/2.emlx"};
        QTest::newRow("Inbox and INBOX") << inboxes << eml << QStringList{"Inbox/1.eml", "INBOX (2)/2.eml"} << 1;
        QTest::newRow("Inbox and INBOX in mbox") << inboxes << mbox << QStringList{"Inbox", "INBOX (2)"} << 1;
#ifndef Q_OS_WIN // Maildir is refused there
        QTest::newRow("Inbox and INBOX in Maildir") << inboxes << maildir << QStringList{"Inbox/cur/", "INBOX (2)/cur/"} << 1;
#endif
#ifndef Q_OS_WIN // where the two sources are one file
        QTest::newRow("names alike but for letter case")
            << QStringList{"Box.mbox/a.emlx", "Box.mbox/A.emlx"} << eml << QStringList{"Box/a.eml", "Box/A (2).eml"} << 1;
#endif
        // The names taken in a mailbox hold for all its folders, however far apart in the list.
        QTest::newRow("one mailbox's folders apart in the list")
            << QStringList{"Box.mbox/Data/1/Messages/7.emlx", "Other.mbox/7.emlx", "Box.mbox/Data/2/Messages/7.emlx"}
            << eml << QStringList{"Box/7.eml", "Other/7.eml", "Box/7 (2).eml"} << 0;
        QTest::newRow("A.mbox beside A.imapmbox")
            << QStringList{"A.mbox/1.emlx", "A.imapmbox/2.emlx"} << mbox << QStringList{"A", "A (2)"} << 1;
        QTest::newRow("loose messages beside mbox.mbox")
            << QStringList{"1.emlx", "mbox.mbox/2.emlx"} << mbox << QStringList{"mbox", "mbox (2)"} << 1;
#ifndef Q_OS_WIN
        QTest::newRow("a Maildir mailbox named cur")
            << QStringList{"Box.mbox/1.emlx", "Box.mbox/cur.mbox/2.emlx"} << maildir
            << QStringList{"Box/cur/", "Box/cur (2)/cur/"} << 1;
#endif
    }
    void mailboxesNeverMeet()
    {
        QFETCH(QStringList, sources);
        QFETCH(int, format);
        const auto inbox = [this](const QString &account) {
            return src(account.section('/', 0, 0) + "/Mail/V10/" + account.section('/', 1) + "/INBOX.mbox/Messages/5.emlx");
        };
        for (const QString &account : {"two/A", "two/B", "one/C", "other/D"})
            QVERIFY(TestFiles::write(inbox(account), emlx(mail(inbox(account).toUtf8()))));
        for (QString &source : sources) {
            source = source.startsWith('@') ? inbox(source.mid(1)) : src(source);
            QVERIFY(TestFiles::write(source, emlx(mail(source.toUtf8()))));
        }
        RunOptions options{dest(), NamingScheme::Original, false, OutputLayout::Mailboxes};
        options.format = OutputFormat(format);

        const RunReport report = convertAll(sources, options);
        QCOMPARE(report.converted, sources.size());
        QStringList outputs;
        for (const PlannedOutput &output : report.outputs) {
            const QString target = output.target.mid(dest().size() + 1);
            outputs << (target.contains("/cur/") ? target.left(target.indexOf("/cur/") + 5) : target);
            QVERIFY(TestFiles::read(output.target).contains(mail(output.source.toUtf8())));
        }
        QTEST(outputs, "outputs");
        QTEST(int(report.warnings.size()), "warnings");
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
        RunOptions options{dest(), NamingScheme::Original, false};
        RunCallbacks callbacks;
        callbacks.messageStarted = [&started](int index) { started << index; };
        // The scheme changes while the run goes on: the next messages take it.
        callbacks.progress = [&](int done, int total) {
            progress << qMakePair(done, total);
            options.scheme = NamingScheme::SubjectDate;
        };
        callbacks.stopRequested = [&progress] { return progress.size() == 4; };

        const RunReport report = convertAll(sources, options, callbacks);
        QVERIFY(report.stopped);
        QCOMPARE(report.emptyEntries, 1);
        QCOMPARE(report.converted, 3);
        QCOMPARE(started, QList<int>({0, 1, 2, 3}));
        QCOMPARE(progress, (QList<QPair<int, int>>{{1, 5}, {2, 5}, {3, 5}, {4, 5}}));
        QCOMPARE(outputFiles(),
                 QStringList({mirrored("1.eml"), mirrored("s2 06-08-2011.eml"), mirrored("s3 06-08-2011.eml")}));
    }


    // A dry run plans what a run writes; many jobs write what one job writes.
    void sameResultAsOneRealJob_data()
    {
        QTest::addColumn<bool>("dryRun");
        QTest::addColumn<int>("jobs");
        QTest::newRow("dry run") << true << 1;
        QTest::newRow("three jobs") << false << 3;
        QTest::newRow("dry run, three jobs") << true << 3;
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

};

QTEST_GUILESS_MAIN(ConversionRunTest)
#include "tst_conversionrun.moc"
