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
    // may have been put: a line that names what no run writes is ignored, and the record is put
    // in place under a temporary name, never written through a link or into a file in place.
    void updateRecordIsNotTrustedBlindly_data()
    {
        QTest::addColumn<QByteArray>("planted"); // instead of the record's " 1.eml\n" ending
        QTest::addColumn<QString>("linked");     // the record made a link of this kind to an outside file
        QTest::addColumn<int>("converted");      // in the run over the planted record
        QTest::addColumn<int>("warnings");
        QTest::newRow("name that climbs out") << QByteArray(" ..%2F..%2Fclimbed.eml\n") << "" << 0 << 0;
        QTest::newRow("name that is a device") << QByteArray(" CON\n") << "" << 0 << 0;
        QTest::newRow("the folder itself") << QByteArray(" .\n") << "" << 0 << 0;
        QTest::newRow("line longer than a path")
            << " " + QByteArray("a").repeated(600000) + " 1.eml\n" << "" << 0 << 0;
        QTest::newRow("symbolic link") << QByteArray() << "symbolic" << 1 << 1;
        QTest::newRow("hard link") << QByteArray() << "hard" << 1 << 0;
    }
    void updateRecordIsNotTrustedBlindly()
    {
        QFETCH(QByteArray, planted);
        QFETCH(QString, linked);
        QVERIFY(TestFiles::write(src("Box/1.emlx"), emlx(mail("m"))));
        RunOptions options{dest(), NamingScheme::Original, false};
        options.update = true;
        const RunReport first = convertAll({src("Box/1.emlx")}, options);
        QCOMPARE(first.converted, 1);
        const QString record = UpdateRecord::pathIn(dest());
        const QByteArray written = TestFiles::read(record);
        QVERIFY2(written.endsWith(" 1.eml\n"), written.constData());
        if (!planted.isEmpty())
            QVERIFY(TestFiles::write(record, written.chopped(7) + planted));
        const QString elsewhere = root() + "/elsewhere";
        QVERIFY(TestFiles::write(elsewhere, written));
        if (!linked.isEmpty()) {
#ifdef Q_OS_WIN
            QSKIP(TestFiles::noSymbolicLinks);
#endif
            QVERIFY(QFile::remove(record));
            QVERIFY(linked == "hard" ? TestFiles::hardLink(elsewhere, record) : QFile::link(elsewhere, record));
            QVERIFY(TestFiles::write(src("Box/1.emlx"), emlx(mail("changed")))); // to be recorded again
        }

        const RunReport again = convertAll({src("Box/1.emlx")}, options);
        QTEST(again.converted, "converted");
        QCOMPARE(again.upToDate, 1 - again.converted);
        QTEST(int(again.warnings.size()), "warnings");
        QVERIFY(again.warnings.isEmpty() || again.warnings[0].text.contains("is a link"));
        QVERIFY(TestFiles::filesBelow(root()).filter("climbed").isEmpty());
        QCOMPARE(TestFiles::read(elsewhere), written);
        QVERIFY(!TestFiles::read(record).contains(" CON\n"));
    }
};

QTEST_GUILESS_MAIN(UpdateRecordTest)
#include "tst_updaterecord.moc"
