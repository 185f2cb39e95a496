#include "EmlxEnvelope.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <ctime>

namespace {

const QByteArray message = "From: =?UTF-8?Q?J=C3=BCrgen?= <j@example.com>\nSubject: Grüße\n\nHallo,\nbis bald.\n";
const QByteArray bareList =
    "<plist version=\"1.0\">\n<dict>\n<key>flags</key>\n<integer>1</integer>\n</dict>\n</plist>\n";
// Bodies with XML of their own, which must not be taken for the mail client's data.
const QByteArray plistBody = "Subject: Settings\n\n<?xml version=\"1.0\"?>\n<plist><dict/></plist>\nThanks\n";
const QByteArray xmlBody = "Subject: Export\n\n<?xml version=\"1.0\"?>\nHello\n";

// The entry for noon UTC of the day, which is 02:00 of the next day in this test's local zone.
QByteArray dateEntry(const char *key, const char *type, int month, const char *fraction = "")
{
    const qint64 seconds = QDateTime(QDate(2011, month, 1), QTime(12, 0), QTimeZone::utc()).toSecsSinceEpoch();
    return "<key>" + QByteArray(key) + "</key><" + type + '>' + QByteArray::number(seconds) + fraction + "</" + type +
           ">\n";
}

} // namespace

class TestEnvelope : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(QStringLiteral("Posteingang/Grüße 日本.emlx"));

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestFiles::useLocalZoneFarFromUtc());
        QVERIFY(m_dir.isValid());
    }

    void locatesMessage_data()
    {
        using TestFiles::emlx;
        const QByteArray plist = TestFiles::propertyList();
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("expectedMessage");
        QTest::addColumn<QByteArray>("expectedPlist");
        QTest::addColumn<bool>("warns");
        auto row = [](const char *name, const QByteArray &file, const QByteArray &message, const QByteArray &plist,
                      bool warns) { QTest::newRow(name) << file << message << plist << warns; };
        row("padded count", emlx(message), message, plist, false);
        row("CRLF count line", QByteArray::number(message.size()) + "\r\n" + message + plist, message, plist, false);
        row("exact count, no plist", emlx(message, {}), message, {}, false);
        row("plist without declaration", emlx(message, bareList), message, bareList, false);
        row("no envelope", message, message, {}, false);
        row("count beyond file", emlx(message, plist, 500), message, plist, true);
        row("count beyond file, no plist", emlx(message, {}, 500), message, {}, true);
        row("huge count", "999999999999\n" + message + plist, message, plist, true);
        row("count beyond 64 bits", "99999999999999999999\n" + message + plist, message, plist, true);
        row("count too small, plist in body", emlx(plistBody, plist, -8), plistBody, plist, true);
        row("count too small, xml in body, bare plist", emlx(xmlBody, bareList, -8), xmlBody, bareList, true);
    }
    void locatesMessage()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, warns);
        QVERIFY(TestFiles::write(m_path, file));
        const EmlxEnvelope::Result result = EmlxEnvelope::read(m_path);
        QVERIFY2(result.envelope, qPrintable(result.error));
        const EmlxEnvelope &envelope = *result.envelope;
        QTEST(file.mid(envelope.messageOffset, envelope.messageLength), "expectedMessage");
        QTEST(envelope.propertyListOffset < 0 ? QByteArray() : file.mid(envelope.propertyListOffset), "expectedPlist");
        QCOMPARE(envelope.warning.contains(m_path), warns);
    }

    void rejects_data()
    {
        QTest::addColumn<QByteArray>("file"); // null: the file is gone
        QTest::newRow("empty file") << QByteArray("");
        QTest::newRow("count of zero, only a plist") << "0\n" + TestFiles::propertyList();
        QTest::newRow("file vanished") << QByteArray();
    }
    void rejects()
    {
        QFETCH(QByteArray, file);
        QFile::remove(m_path);
        QVERIFY(file.isNull() || TestFiles::write(m_path, file));
        const EmlxEnvelope::Result result = EmlxEnvelope::read(m_path);
        QVERIFY(!result.envelope);
        QVERIFY2(result.error.contains(m_path), qPrintable(result.error));
    }

    void propertyListDates_data()
    {
        QTest::addColumn<QByteArray>("plist"); // null: the file has none
        QTest::addColumn<QDate>("sent");
        QTest::addColumn<QDate>("received");
        const QByteArray both = dateEntry("date-sent", "integer", 3) + dateEntry("date-received", "integer", 4);
        const QByteArray nested = "<key>meta</key><dict>" + dateEntry("date-sent", "integer", 4) + "</dict>\n";
        QTest::newRow("integer") << TestFiles::propertyList(both) << QDate(2011, 3, 2) << QDate(2011, 4, 2);
        QTest::newRow("real") << TestFiles::propertyList(dateEntry("date-received", "real", 4, ".75")) << QDate()
                              << QDate(2011, 4, 2);
        QTest::newRow("nested dictionary ignored")
            << TestFiles::propertyList(nested + dateEntry("date-received", "integer", 3)) << QDate()
            << QDate(2011, 3, 2);
        QTest::newRow("no plist") << QByteArray() << QDate() << QDate();
    }
    void propertyListDates()
    {
        QFETCH(QByteArray, plist);
        QVERIFY(TestFiles::write(m_path, TestFiles::emlx(message, plist)));
        const EmlxEnvelope::Result result = EmlxEnvelope::read(m_path);
        QVERIFY(result.envelope);
        const PropertyListDates dates = readPropertyListDates(m_path, *result.envelope);
        QTEST(dates.sent.date(), "sent");
        QTEST(dates.received.date(), "received");
    }
};

QTEST_GUILESS_MAIN(TestEnvelope)
#include "tst_envelope.moc"
