#include "RunFixture.h"
#include "TestFiles.h"
#include "convert/ConversionRun.h"
#include "convert/output/UpdateRecord.h"

#include <QFileInfo>
#include <QTest>

using TestFiles::emlx;
using TestFiles::mail;

// --update over loose .eml files: what counts as written already, and the record that names
// unchanged sources without opening them.
class UpdateRecordTest : public QObject, RunFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init() { renew(); }

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
        QVERIFY(TestFiles::filesBelow(root()).filter("climbed").isEmpty());

#ifdef Q_OS_WIN
        QSKIP(TestFiles::noSymbolicLinks);
#endif
        const QString elsewhere = root() + "/elsewhere";
        QVERIFY(TestFiles::write(elsewhere, "untouched"));
        QVERIFY(QFile::remove(record) && QFile::link(elsewhere, record));
        QVERIFY(QFile::remove(first.outputs.value(0).target));
        const RunReport throughLink = convertAll({src("Box/1.emlx")}, options);
        QCOMPARE(throughLink.converted, 1);
        QCOMPARE(TestFiles::read(elsewhere), QByteArray("untouched"));
        QCOMPARE(throughLink.warnings.size(), 1);
        QVERIFY2(throughLink.warnings.value(0).text.contains("is a link"), qPrintable(throughLink.warnings.value(0).text));
    }

};

QTEST_GUILESS_MAIN(UpdateRecordTest)
#include "tst_updaterecord.moc"
