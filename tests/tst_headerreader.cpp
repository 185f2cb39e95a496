#include "HeaderReader.h"
#include "TestFiles.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <ctime>

using namespace Qt::StringLiterals;

namespace {

// Noon UTC of the day, which is 02:00 of the next day in this test's local zone.
QDateTime utcNoon(int month)
{
    return QDateTime(QDate(2011, month, 1), QTime(12, 0), QTimeZone::utc());
}

QByteArray dateEntry(const char *key, int month)
{
    return "<key>" + QByteArray(key) + "</key><integer>" + QByteArray::number(utcNoon(month).toSecsSinceEpoch()) +
           "</integer>\n";
}

} // namespace

class TestHeaderReader : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(QStringLiteral("Boîte/Москва 東京.emlx"));

    // Writes the file with 1 May 2011 (noon UTC) as its modification time and loads it.
    void load(HeaderReader &reader, const QByteArray &file)
    {
        QVERIFY(TestFiles::write(m_path, file));
        QVERIFY(TestFiles::setModified(m_path, utcNoon(5)));
        QVERIFY2(reader.LoadMessageFile(m_path), qPrintable(reader.errorString()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(TestFiles::useLocalZoneFarFromUtc());
        QVERIFY(m_dir.isValid());
    }

    void decodesText_data()
    {
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("from");
        auto subject = [](const char *name, const QByteArray &value, const char *expected) {
            QTest::newRow(name) << "From: Sales\nSubject: " + value + '\n' << expected << "Sales";
        };
        auto from = [](const char *name, const QByteArray &value, const char *expected) {
            QTest::newRow(name) << "From: " + value + "\nTo: x@example.com\n"
                                << "" << expected;
        };
        subject("UTF-8 B", "=?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?=", "Grüße aus Köln");
        subject("ISO-8859-1 Q", "=?ISO-8859-1?Q?Caf=E9_cr=E8me?=", "Café crème");
        subject("windows-1252 Q", "=?windows-1252?Q?=80_5_=96_=93ok=94?=", "€ 5 – “ok”");
        subject("ISO-2022-JP B", "=?ISO-2022-JP?B?GyRCRnxLXDhsJE43b0w+GyhC?=", "日本語の件名");
        subject("KOI8-R B", "=?koi8-r?B?8NLJ18XULCDNydI=?=", "Привет, мир");
        subject("GB2312 B", "=?GB2312?B?xOO6w8rAvec=?=", "你好世界");
        subject("adjacent words joined", "=?UTF-8?Q?Caf=C3=A9?= =?UTF-8?Q?_au_lait?=", "Café au lait");
        subject("character split across words", "=?UTF-8?Q?Caf=C3?= =?UTF-8?Q?=A9?=", "Café");
        subject("encoded words across a fold", "=?UTF-8?Q?Caf=C3=A9?=\n =?UTF-8?Q?_au_lait?=", "Café au lait");
        subject("folded", "Quarterly\n report\n for 2011", "Quarterly report for 2011");
        subject("surrounding blanks", "   Hello  =?UTF-8?Q?_?=", "Hello");
        subject("raw UTF-8", "Grüße aus Köln", "Grüße aus Köln");
        subject("raw windows-1252", "Caf\xe9 \x80 5", "Café € 5");
        from("display name and address", "Jane Doe <jane@example.com>", "Jane Doe <jane@example.com>");
        from("encoded display name", "=?UTF-8?Q?Ren=C3=A9e?= <renee@example.com>", "Renée <renee@example.com>");
        from("raw windows-1252 display name", "Andr\xe9 <andre@example.com>", "André <andre@example.com>");
        from("malformed: no address", "Jane Doe", "Jane Doe");
        from("malformed: doubled signs", "jane@@example..com", "jane@@example..com");
        QTest::newRow("missing headers") << "To: x@example.com\n"_ba
                                         << ""
                                         << "";
        QTest::newRow("header after the blank line") << "From: Sales\n\nSubject: body\n"_ba
                                                     << ""
                                                     << "Sales";
    }
    void decodesText()
    {
        QFETCH(QByteArray, headers);
        for (const QByteArray &file : {TestFiles::emlx(headers + "\nBody\n"), headers + "\nBody\n"}) {
            HeaderReader reader;
            load(reader, file);
            QTEST(reader.GetSubject(), "subject");
            QTEST(reader.GetFrom(), "from");
        }
    }

    void oddFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        const QByteArray message = "Subject: Budget\nFrom: Sales\n\n";
        QTest::newRow("NUL in a header") << TestFiles::emlx("Subject: Bud\0get\nFrom: Sales\n\nBody\n"_ba);
        QTest::newRow("huge body") << TestFiles::emlx(message + QByteArray(9 << 20, 'x') + "\nSubject: late\n");
    }
    void oddFiles()
    {
        QFETCH(QByteArray, file);
        HeaderReader reader;
        load(reader, file);
        QCOMPARE(reader.GetSubject().remove(u' '), u"Budget"_s); // the text after a NUL is kept
        QCOMPARE(reader.GetFrom(), u"Sales"_s);
        QCOMPARE(reader.warnings(), QStringList());
    }

    void date_data()
    {
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<QByteArray>("plist"); // null: no envelope at all
        QTest::addColumn<QDate>("date");
        const QByteArray plist = TestFiles::propertyList(dateEntry("date-sent", 3) + dateEntry("date-received", 4));
        auto header = [&](const char *name, const QByteArray &date, QDate expected) {
            QTest::newRow(name) << "Date: " + date + '\n' << plist << expected;
        };
        header("late evening behind UTC", "Sat, 6 Aug 2011 23:30:00 -0500", QDate(2011, 8, 6));
        header("just after midnight at +1400", "Sat, 6 Aug 2011 00:30:00 +1400", QDate(2011, 8, 6));
        header("just before midnight at -1200", "Sat, 6 Aug 2011 23:59:59 -1200", QDate(2011, 8, 6));
        header("two-digit year", "Sat, 6 Aug 11 23:30:00 -0500", QDate(2011, 8, 6));
        header("two-digit year of last century", "Fri, 6 Aug 99 23:30:00 -0500", QDate(1999, 8, 6));
        header("named zone EST", "Sat, 6 Aug 2011 23:30:00 EST", QDate(2011, 8, 6));
        header("named zone GMT", "Sat, 6 Aug 2011 00:10:00 GMT", QDate(2011, 8, 6));
        header("no weekday, no seconds", "6 Aug 2011 23:30 -0500", QDate(2011, 8, 6));
        // The fall-backs are in local time.
        header("unparsable: date sent", "yesterday at noon", QDate(2011, 3, 2));
        QTest::newRow("missing: date sent") << QByteArray() << plist << QDate(2011, 3, 2);
        QTest::newRow("missing: date received")
            << QByteArray() << TestFiles::propertyList(dateEntry("date-received", 4)) << QDate(2011, 4, 2);
        QTest::newRow("missing: modification time") << QByteArray() << TestFiles::propertyList() << QDate(2011, 5, 2);
        QTest::newRow("no envelope: modification time") << QByteArray() << QByteArray() << QDate(2011, 5, 2);
    }
    void date()
    {
        QFETCH(QByteArray, headers);
        QFETCH(QByteArray, plist);
        const QByteArray message = "Subject: Budget\n" + headers + "\nBody\n";
        HeaderReader reader;
        load(reader, plist.isNull() ? message : TestFiles::emlx(message, plist));
        QTEST(reader.GetDate().date(), "date");
    }
};

QTEST_GUILESS_MAIN(TestHeaderReader)
#include "tst_headerreader.moc"
