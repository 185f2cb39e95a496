#include "ConversionRun.h"
#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray message(const QByteArray &subject, const QByteArray &date = "Sat, 6 Aug 2011 10:00:00 +0200")
{
    return "From: Ann <ann@example.com>\nSubject: " + subject + "\nDate: " + date + "\n\nBody of " + subject + "\n";
}

} // namespace

class ConversionRunTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void mirrorsFolders_data();
    void mirrorsFolders();
    void writesTheMessageInsideTheEnvelope();
    void numbersCollidingNames_data();
    void numbersCollidingNames();
    void writesRepeatedSourceOnce();
    void secondRunReplaces();
    void reportsFailuresAndGoesOn_data();
    void reportsFailuresAndGoesOn();
    void refusesDestinationThatCannotBeMade();
    void reportsProgressAndFollowsSchemeChanges();
    void stopsAtOnce();
    void dryRunPlansWhatARunWrites();
    void sameResultWithManyJobs();

private:
    QString src(const QString &relative) const { return m_dir->filePath("src/" + relative); }
    QString dest() const { return m_dir->filePath("out"); }
    // Where a source below src/ is mirrored under the destination.
    QString mirrored(const QString &relative) const
    {
        return dest() + '/' + QDir::cleanPath(m_dir->filePath("src/" + relative)).mid(1);
    }
    QStringList outputFiles() const { return TestFiles::filesBelow(dest()); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void ConversionRunTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
}

void ConversionRunTest::mirrorsFolders_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("output");
    QTest::newRow("plain") << "A/1.emlx"
                           << "A/1.eml";
    QTest::newRow("nested") << "A/B/2.emlx"
                            << "A/B/2.eml";
    QTest::newRow("folder named like a message") << "Box.emlx/1.emlx"
                                                 << "Box.eml/1.eml";
    QTest::newRow("upper-case ending") << "C/NOTE.EMLX"
                                       << "C/NOTE.eml";
    QTest::newRow("partial message") << "D/7.partial.emlx"
                                     << "D/7.partial.eml";
    QTest::newRow("non-ASCII") << "Входящие/ü 1.emlx"
                               << "Входящие/ü 1.eml";
}

void ConversionRunTest::mirrorsFolders()
{
    QFETCH(QString, source);
    QFETCH(QString, output);
    QVERIFY(TestFiles::write(src(source), TestFiles::emlx(message("x"))));
    const RunReport report = convertAll({src(source)}, {dest(), NamingScheme::Original, false});
    QVERIFY(report.succeeded());
    QCOMPARE(report.converted, 1);
    QCOMPARE(outputFiles(), QStringList({mirrored(output)}));
}

void ConversionRunTest::writesTheMessageInsideTheEnvelope()
{
    const QByteArray crlfMessage = "Subject: crlf\r\n\r\nline\r\n";
    const QByteArray bodyWithXml = message("xml") + "<?xml version=\"1.0\"?>\n<plist></plist>\n";
    struct Case {
        const char *name;
        QByteArray file;
        QByteArray expected;
    } cases[] = {
        {"1.emlx", TestFiles::emlx(message("one")), message("one")},
        {"2.emlx", TestFiles::emlx(crlfMessage), crlfMessage},
        {"3.emlx", message("no envelope"), message("no envelope")},
        {"4.emlx", TestFiles::emlx(bodyWithXml), bodyWithXml},
        {"5.emlx", TestFiles::emlx(message("count too large"), TestFiles::propertyList(), 50),
         message("count too large")},
    };
    QStringList sources;
    for (const Case &c : cases) {
        QVERIFY(TestFiles::write(src(c.name), c.file));
        sources << src(c.name);
    }
    const RunReport report = convertAll(sources, {dest(), NamingScheme::Original, false});
    QCOMPARE(report.converted, 5);
    QCOMPARE(report.warnings.size(), 1);
    QCOMPARE(report.warnings[0].source, src("5.emlx"));
    for (const Case &c : cases) {
        const QString output = mirrored(QString::fromLatin1(c.name).replace(".emlx", ".eml"));
        QCOMPARE(TestFiles::read(output), c.expected);
        QCOMPARE(TestFiles::read(src(c.name)), c.file); // the source is never touched
    }
}

void ConversionRunTest::numbersCollidingNames_data()
{
    QTest::addColumn<QStringList>("subjects");
    QTest::addColumn<QStringList>("names"); // in run order
    QTest::newRow("three alike") << QStringList{"Budget", "Budget", "Budget"}
                                 << QStringList{"Budget 06-08-2011.eml", "Budget 06-08-2011 (2).eml",
                                                "Budget 06-08-2011 (3).eml"};
    QTest::newRow("alike after cleaning") << QStringList{"Re: Budget?", "Re Budget"}
                                          << QStringList{"Re Budget 06-08-2011.eml", "Re Budget 06-08-2011 (2).eml"};
    QTest::newRow("different") << QStringList{"A", "B"} << QStringList{"A 06-08-2011.eml", "B 06-08-2011.eml"};
}

void ConversionRunTest::numbersCollidingNames()
{
    QFETCH(QStringList, subjects);
    QFETCH(QStringList, names);
    QStringList sources;
    for (int i = 0; i < subjects.size(); ++i) {
        sources << src(QStringLiteral("Box/%1.emlx").arg(i + 1));
        QVERIFY(TestFiles::write(sources.last(), TestFiles::emlx(message(subjects[i].toUtf8()))));
    }
    const RunReport report = convertAll(sources, {dest(), NamingScheme::SubjectDate, false});
    QVERIFY(report.succeeded());
    QStringList targets;
    for (const PlannedOutput &output : report.outputs)
        targets << output.target;
    QStringList expected;
    for (const QString &name : names)
        expected << mirrored("Box/" + name);
    QCOMPARE(targets, expected);
    expected.sort();
    QCOMPARE(outputFiles(), expected);
}

void ConversionRunTest::writesRepeatedSourceOnce()
{
    QVERIFY(TestFiles::write(src("1.emlx"), TestFiles::emlx(message("one"))));
    const QString same = src("x/../1.emlx");
    const RunReport report =
        convertAll({src("1.emlx"), src("1.emlx"), same}, {dest(), NamingScheme::SubjectDate, false});
    QVERIFY(report.succeeded());
    QCOMPARE(report.converted, 1);
    QCOMPARE(report.repeatedSources, 2);
    QCOMPARE(outputFiles(), QStringList({mirrored("one 06-08-2011.eml")}));
}

void ConversionRunTest::secondRunReplaces()
{
    QVERIFY(TestFiles::write(src("1.emlx"), TestFiles::emlx(message("same"))));
    QVERIFY(TestFiles::write(src("2.emlx"), TestFiles::emlx(message("same"))));
    const RunOptions options{dest(), NamingScheme::SubjectDate, false};
    const RunReport first = convertAll({src("1.emlx"), src("2.emlx")}, options);
    const QStringList afterFirst = outputFiles();
    QCOMPARE(afterFirst.size(), 2);
    QVERIFY(TestFiles::write(src("1.emlx"), TestFiles::emlx(message("same") + "changed\n")));
    const RunReport second = convertAll({src("1.emlx"), src("2.emlx")}, options);
    QCOMPARE(outputFiles(), afterFirst);
    QCOMPARE(second.outputs[0].target, first.outputs[0].target);
    QCOMPARE(TestFiles::read(second.outputs[0].target), message("same") + "changed\n");
}

void ConversionRunTest::reportsFailuresAndGoesOn_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("source gone") << "gone"
                                 << "is gone";
    QTest::newRow("empty source") << "empty"
                                  << "is empty";
    QTest::newRow("file where the folder goes") << "blocked"
                                                << "cannot create folder";
    QTest::newRow("folder where the file goes") << "occupied"
                                                << "cannot write";
}

void ConversionRunTest::reportsFailuresAndGoesOn()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    const QString bad = src("Bad/1.emlx");
    QVERIFY(TestFiles::write(bad, TestFiles::emlx(message("bad"))));
    QVERIFY(TestFiles::write(src("Good/2.emlx"), TestFiles::emlx(message("good"))));
    if (fault == "gone")
        QVERIFY(QFile::remove(bad));
    else if (fault == "empty")
        QVERIFY(TestFiles::write(bad, {}));
    else if (fault == "blocked")
        QVERIFY(TestFiles::write(QFileInfo(mirrored("Bad/1.eml")).path(), "in the way"));
    else
        QVERIFY(QDir().mkpath(mirrored("Bad/1.eml")));

    const RunReport report = convertAll({bad, src("Good/2.emlx")}, {dest(), NamingScheme::Original, false});
    QVERIFY(!report.succeeded());
    QCOMPARE(report.converted, 1);
    QCOMPARE(report.failures.size(), 1);
    QCOMPARE(report.failures[0].source, bad);
    QVERIFY2(report.failures[0].text.contains(reason), qPrintable(report.failures[0].text));
    QCOMPARE(TestFiles::read(mirrored("Good/2.eml")), message("good"));
    for (const QString &file : outputFiles())
        QVERIFY2(!file.endsWith(".tmp"), qPrintable(file));
}

void ConversionRunTest::refusesDestinationThatCannotBeMade()
{
    QVERIFY(TestFiles::write(src("1.emlx"), TestFiles::emlx(message("one"))));
    QVERIFY(TestFiles::write(dest(), "a file, not a folder"));
    const RunReport report = convertAll({src("1.emlx")}, {dest() + "/inside", NamingScheme::Original, false});
    QVERIFY(!report.error.isEmpty());
    QCOMPARE(report.converted, 0);
    QVERIFY(report.outputs.isEmpty());
}

void ConversionRunTest::reportsProgressAndFollowsSchemeChanges()
{
    QStringList sources{src("1.emlx"), "   ", src("2.emlx"), src("3.emlx")};
    for (const QString &source : {sources[0], sources[2], sources[3]})
        QVERIFY(TestFiles::write(source, TestFiles::emlx(message("s" + QFileInfo(source).baseName().toUtf8()))));

    QList<int> started;
    QList<QPair<int, int>> progress;
    RunCallbacks callbacks;
    callbacks.messageStarted = [&started](int index) { started << index; };
    callbacks.progress = [&progress](int done, int total) { progress << qMakePair(done, total); };
    // Switch the scheme after the first message, as a user may do during a run.
    callbacks.scheme = [&progress] { return progress.isEmpty() ? NamingScheme::Original : NamingScheme::SubjectDate; };

    const RunReport report = convertAll(sources, {dest(), NamingScheme::Original, false}, callbacks);
    QVERIFY(report.succeeded());
    QCOMPARE(report.emptyEntries, 1);
    QCOMPARE(started, QList<int>({0, 1, 2, 3}));
    QCOMPARE(progress, (QList<QPair<int, int>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
    QCOMPARE(outputFiles(),
             QStringList({mirrored("1.eml"), mirrored("s2 06-08-2011.eml"), mirrored("s3 06-08-2011.eml")}));
}

void ConversionRunTest::stopsAtOnce()
{
    QStringList sources;
    for (int i = 1; i <= 5; ++i) {
        sources << src(QStringLiteral("%1.emlx").arg(i));
        QVERIFY(TestFiles::write(sources.last(), TestFiles::emlx(message("m"))));
    }
    int done = 0;
    RunCallbacks callbacks;
    callbacks.progress = [&done](int d, int) { done = d; };
    callbacks.stopRequested = [&done] { return done == 2; };
    const RunReport report = convertAll(sources, {dest(), NamingScheme::Original, false}, callbacks);
    QVERIFY(report.stopped);
    QVERIFY(!report.succeeded());
    QCOMPARE(report.converted, 2);
    QCOMPARE(outputFiles(), QStringList({mirrored("1.eml"), mirrored("2.eml")}));
}

void ConversionRunTest::dryRunPlansWhatARunWrites()
{
    QStringList sources;
    for (const char *name : {"A/1.emlx", "A/2.emlx", "B/3.emlx", "A/1.emlx"}) {
        sources << src(name);
        QVERIFY(TestFiles::write(sources.last(), TestFiles::emlx(message("same"))));
    }
    const RunReport planned = convertAll(sources, {dest(), NamingScheme::DateSenderSubject, true});
    QVERIFY(!QFileInfo::exists(dest()));
    const RunReport written = convertAll(sources, {dest(), NamingScheme::DateSenderSubject, false});
    QCOMPARE(planned.outputs.size(), 3);
    QCOMPARE(planned.converted, written.converted);
    for (int i = 0; i < planned.outputs.size(); ++i) {
        QCOMPARE(planned.outputs[i].source, written.outputs[i].source);
        QCOMPARE(planned.outputs[i].target, written.outputs[i].target);
    }
}

void ConversionRunTest::sameResultWithManyJobs()
{
    // Alike names, a repeated source, an empty entry, broken files and a warning, spread over
    // several batches: the outputs and the report must not depend on how many run at once.
    QStringList sources;
    for (int i = 0; i < 700; ++i) {
        sources << src(QStringLiteral("Box%1/%2.emlx").arg(i % 3).arg(i));
        const QByteArray subject = i % 5 == 0 ? "alike" : "m" + QByteArray::number(i);
        const QByteArray file = i % 97 == 0
                                    ? QByteArray()
                                    : TestFiles::emlx(message(subject), TestFiles::propertyList(), i % 89 == 0 ? 7 : 0);
        QVERIFY(TestFiles::write(sources.last(), file));
    }
    sources.insert(300, sources[10]);
    sources.insert(400, "  ");

    auto relative = [this](RunReport report, const QString &destination) {
        QStringList lines;
        for (const PlannedOutput &output : report.outputs)
            lines << output.source + " -> " + output.target.mid(destination.size()) + " : " +
                         TestFiles::read(output.target);
        for (const MessageNote &note : report.failures + report.warnings)
            lines << note.source + " ! " + note.text;
        lines << QStringLiteral("%1 %2 %3 %4")
                     .arg(report.converted)
                     .arg(report.emptyEntries)
                     .arg(report.repeatedSources)
                     .arg(report.total);
        return lines;
    };
    RunOptions one{dest() + "/one", NamingScheme::SubjectDate, false};
    RunOptions many = one;
    many.destination = dest() + "/many";
    many.jobs = 3;
    const QStringList oneByOne = relative(convertAll(sources, one), one.destination);
    const QStringList atOnce = relative(convertAll(sources, many), many.destination);
    QCOMPARE(atOnce, oneByOne);
    QVERIFY(oneByOne.filter(" (2).eml").size() > 0);
    QVERIFY(oneByOne.filter(" ! ").size() > 8);
}

QTEST_GUILESS_MAIN(ConversionRunTest)
#include "tst_conversionrun.moc"
