#include "TestFiles.h"
#include "convert/EmlxEnvelope.h"
#include "convert/HeaderReader.h"
#include "convert/OutputNaming.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

const QByteArray greeting = "From: =?UTF-8?Q?J=C3=BCrgen?= <j@example.com>\nSubject: Grüße\n\nHallo,\nbis bald.\n";
const QByteArray bareList =
    "<plist version=\"1.0\">\n<dict>\n<key>flags</key>\n<integer>1</integer>\n</dict>\n</plist>\n";
// Bodies with XML of their own, which must not be taken for the mail client's data.
const QByteArray plistBody = "Subject: Settings\n\n<?xml version=\"1.0\"?>\n<plist><dict/></plist>\nThanks\n";
const QByteArray xmlBody = "Subject: Export\n\n<?xml version=\"1.0\"?>\nHello\n";

// Noon UTC of the day, which is 02:00 of the next day in this test's local zone.
QDateTime utcNoon(int month)
{
    return QDateTime(QDate(2011, month, 1), QTime(12, 0), QTimeZone::utc());
}

QByteArray dateEntry(const char *key, int month, const char *type = "integer", const char *fraction = "")
{
    return "<key>" + QByteArray(key) + "</key><" + type + '>' + QByteArray::number(utcNoon(month).toSecsSinceEpoch()) +
           fraction + "</" + type + ">\n";
}

} // namespace

// Reading a message file: where the message lies in its envelope, its headers, its date.
class TestMessageFile : public QObject
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
        row("padded count", emlx(greeting), greeting, plist, false);
        row("CRLF count line", QByteArray::number(greeting.size()) + "\r\n" + greeting + plist, greeting, plist, false);
        row("exact count, no plist", emlx(greeting, {}), greeting, {}, false);
        row("plist without declaration", emlx(greeting, bareList), greeting, bareList, false);
        row("no envelope", greeting, greeting, {}, false);
        row("count beyond file", emlx(greeting, plist, 500), greeting, plist, true);
        row("count beyond file, no plist", emlx(greeting, {}, 500), greeting, {}, true);
        row("huge count", "999999999999\n" + greeting + plist, greeting, plist, true);
        row("count beyond 64 bits", "99999999999999999999\n" + greeting + plist, greeting, plist, true);
        row("count too small, plist in body", emlx(plistBody, plist, -8), plistBody, plist, true);
        row("count too small, xml in body, bare plist", emlx(xmlBody, bareList, -8), xmlBody, bareList, true);
        row("no count, plist ends the file", greeting + plist, greeting, plist, true);
        row("no count, plist in body, plist ends the file", plistBody + plist, plistBody, plist, true);
        row("no count, body ends with a bare plist", greeting + bareList, greeting + bareList, {}, false);
        row("first line neither a count nor a header", "x!garbage#\n" + greeting, "x!garbage#\n" + greeting, {}, true);
        row("first line a count with letters", "12abc\n" + greeting, "12abc\n" + greeting, {}, true);
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
        QCOMPARE(envelope.warning.contains(QDir::toNativeSeparators(m_path)), warns);
    }

    // No message: the file is refused, by name.
    void refusesFileWithoutMessage_data()
    {
        QTest::addColumn<QByteArray>("file"); // null: the file is gone
        QTest::newRow("empty file") << QByteArray("");
        QTest::newRow("count of zero, only a plist") << "0\n" + TestFiles::propertyList();
        QTest::newRow("file vanished") << QByteArray();
    }
    void refusesFileWithoutMessage()
    {
        QFETCH(QByteArray, file);
        QFile::remove(m_path);
        QVERIFY(file.isNull() || TestFiles::write(m_path, file));
        const EmlxEnvelope::Result result = EmlxEnvelope::read(m_path);
        QVERIFY(!result.envelope);
        QVERIFY2(result.error.contains(QDir::toNativeSeparators(m_path)), qPrintable(result.error));
    }

    // A cheap look at the start of the message: is there any header line before the first blank line?
    void flagsContentWithoutHeaderLines_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("flagged");
        QTest::newRow("mail") << greeting << false;
        QTest::newRow("CRLF mail") << "Subject: Hi\r\nFrom: a@b\r\n\r\nBody\r\n"_ba << false;
        QTest::newRow("first header longer than the look") << "Subject: " + QByteArray(40000, 'x') + "\n\nBody\n"
                                                           << false;
        QTest::newRow("mailbox From line, then headers")
            << "From ann@example.com Sat Aug  6 10:00:00 2011\n" + greeting << false;
        QTest::newRow("PNG") << "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10"_ba << true;
        QTest::newRow("zero bytes") << QByteArray(100000, '\0') << true;
        QTest::newRow("text") << "Dear Ann,\nthe minutes: see below.\n\nBest\n"_ba << true;
        QTest::newRow("header after a blank first line") << "\nSubject: late\n\nBody\n"_ba << true;
        QTest::newRow("colon after a blank") << "Note to self: call Ann\n"_ba << true;
    }
    void flagsContentWithoutHeaderLines()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, flagged);
        for (const QByteArray &file : {TestFiles::emlx(message), message}) {
            QVERIFY(TestFiles::write(m_path, file));
            const EmlxEnvelope::Result result = EmlxEnvelope::read(m_path);
            QVERIFY2(result.envelope, qPrintable(result.error));
            QCOMPARE(result.envelope->contentWarning.contains("no header lines"), flagged);
            QCOMPARE(file.mid(result.envelope->messageOffset, result.envelope->messageLength), message);
        }
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
        subject("character split across words", "=?UTF-8?Q?Caf=C3?= =?UTF-8?Q?=A9?=", "Café");
        subject("encoded words across a fold", "=?UTF-8?Q?Caf=C3=A9?=\n =?UTF-8?Q?_au_lait?=", "Café au lait");
        subject("folded", "Quarterly\n report\n for 2011", "Quarterly report for 2011");
        subject("surrounding blanks", "   Hello  =?UTF-8?Q?_?=", "Hello");
        subject("raw UTF-8", "Grüße aus Köln", "Grüße aus Köln");
        subject("raw windows-1252", "Caf\xe9 \x80 5", "Café € 5");
        subject("blanks inside an encoded word", "=?utf-8?Q?Hello World?=", "Hello World");
        subject("base64 padding inside a word", "=?utf-8?B?SGk=IHRoZXJl?=", "Hi there");
        subject("words of two charsets", "=?utf-8?B?0JrQsNC6?= =?koi8-r?B?1MU=?=", "Какте");
        // Labels as the WHATWG Encoding Standard reads them.
        subject("gb2312 label on GBK text", "=?gb2312?B?pbWpYKXTpbk=?=", "サービス");
        subject("shift_jis label", "=?shift_jis?B?g2WDWINn?=", "テスト");
        subject("euc-kr label on a Unified Hangul Code syllable", "=?euc-kr?B?jGPH0Q==?=", "똠한");
        subject("ascii label on windows-1252 text", "=?ascii?Q?=80_5?=", "€ 5");
        from("display name and address", "Jane Doe <jane@example.com>", "Jane Doe <jane@example.com>");
        from("encoded display name", "=?UTF-8?Q?Ren=C3=A9e?= <renee@example.com>", "Renée <renee@example.com>");
        from("raw windows-1252 display name", "Andr\xe9 <andre@example.com>", "André <andre@example.com>");
        from("encoded display name in quotes", "\"=?UTF-8?Q?Ren=C3=A9e?=\" <renee@example.com>",
             "Renée <renee@example.com>");
        from("encoded comma in a display name", "=?UTF-8?Q?Doe=2C_Jane?= <j@example.com>, b@example.com",
             "\"Doe, Jane\" <j@example.com>, b@example.com");
        from("malformed: no address", "Jane Doe", "Jane Doe");
        from("malformed: doubled signs", "jane@@example..com", "jane@@example..com");
        subject("NUL in a header", "Bud\0get"_ba, "Bud get");
        QTest::newRow("a header in a huge body ignored")
            << "From: Sales\nSubject: Budget\n\n" + QByteArray(9 << 20, 'x') + "\nSubject: late\n"
            << u"Budget"_s << u"Sales"_s;
        QTest::newRow("missing headers") << "To: x@example.com\n"_ba << QString() << QString();
        QTest::newRow("header after the blank line") << "From: Sales\n\nSubject: body\n"_ba << QString() << u"Sales"_s;
    }
    void decodesText()
    {
        QFETCH(QByteArray, headers);
        for (const QByteArray &file : {TestFiles::emlx(headers + "\nBody\n"), headers + "\nBody\n"}) {
            HeaderReader reader;
            load(reader, file);
            QTEST(reader.GetSubject(), "subject");
            QTEST(reader.GetFrom(), "from");
            QCOMPARE(reader.warnings(), QStringList());
        }
    }

    // Names as the headers say, from raw header bytes to the composed name.
    void namesFromHeaders_data()
    {
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("name");
        const QByteArray date = "Date: Sat, 6 Aug 2011 10:00:00 +0000\n";
        auto row = [&](const char *tag, const QByteArray &headers, const char *scheme, const QString &name) {
            QTest::newRow(tag) << headers << QString(scheme) << name;
        };
        row("right today: encoded and raw text",
            "From: =?UTF-8?Q?Ren=C3=A9e?= <r@example.com>\nSubject: Caf\xe9 =?UTF-8?Q?cr=C3=A8me?=\n" + date,
            "ymd-subject-sender", u"2011-08-06 Café crème Renée r@example.com.eml"_s);
        row("adjacent base64 words after padding",
            "Subject: =?utf-8?B?U2ltcGxlIHRleHQuIEhvdyBhcmUgeW91PyDQmtCw0Log0YLRiyDQv9C+0LY=?=\n"
            " =?UTF-8?B?0LjQstCw0LXRiNGMPw==?=\n" +
                date,
            "subject-date", u"Simple text. How are you Как ты поживаешь 06-08-2011.eml"_s);
        row("fold made with a tab", "Subject: Quarterly  \r\n\treport\r\n \r\n for Q3\r\n" + date, "subject-date",
            u"Quarterly report for Q3 06-08-2011.eml"_s);
        row("mostly UTF-8, unknown charset",
            "From: Caf\xe9 \xd0\xae\xd0\xbd\xd0\xb8\x96\xd0\xba\xd0\xbe\xd0\xb4 <a@example.com>\n"
            "Subject: =?x-unknown?Q?Gr=FC=DFe?=\n" +
                date,
            "sender-subject-date", u"Café Юни–код a@example.com Grüße 06-08-2011.eml"_s);
        row("duplicate fields: the first wins",
            "From: Doug Sauder <doug@example.com>\nSubject: First\n" + date +
                "From: Should be Ignored <test@test.com>\nSubject: Second\nDate: Sun, 7 Aug 2011 10:00:00 +0000\n",
            "sender-subject-date", u"Doug Sauder doug@example.com First 06-08-2011.eml"_s);
        row("international domain", "From: Ana <ana@xn--polica-7va.com>\nSubject: Hola\n" + date, "sender-subject-date",
            u"Ana ana@policía.com Hola 06-08-2011.eml"_s);
        row("byte-order mark", "\xef\xbb\xbfSubject: Budget\nFrom: Sales\n" + date, "sender-subject-date",
            u"Sales Budget 06-08-2011.eml"_s);
        row("lone CR line ends",
            "Subject: Budget\rFrom: Sales\rDate: Sat, 6 Aug 2011 10:00:00 +0000\r\rSubject: body\r",
            "sender-subject-date", u"Sales Budget 06-08-2011.eml"_s);
        row("two-digit year and leap second", "Subject: Budget\nDate: Fri, 31 Dec 60 23:59:60 +0000\n", "subject-date",
            u"Budget 31-12-1960.eml"_s);
        row("controls, bidi controls, leading dots", "Subject: ..NET\x7f \xc2\x85Kit \xe2\x80\xaeTXT.exe\n" + date,
            "subject-date", u"NET Kit TXT.exe 06-08-2011.eml"_s);
        row("long folded subject keeps the date", "Subject: " + QByteArray("Grüße\n ").repeated(60) + "end\n" + date,
            "subject-date", QString(QByteArray("Grüße ").repeated(30).chopped(1)) + u" 06-08-2011.eml"_s);
    }
    void namesFromHeaders()
    {
        QFETCH(QByteArray, headers);
        QFETCH(QString, scheme);
        HeaderReader reader;
        load(reader, TestFiles::emlx(headers + "\nBody\n"));
        const std::optional<NamingScheme> found = schemeFromName(scheme);
        QVERIFY(found);
        QTEST(CleanOutputName(ComposeOutputName(u"own.eml"_s, *found, reader)), "name");
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
        header("two-digit year of last century", "Fri, 6 Aug 99 23:30:00 -0500", QDate(1999, 8, 6));
        header("two-digit year 60 is 1960", "Fri, 1 Jan 60 10:00:00 +0000", QDate(1960, 1, 1));
        header("year 1900", "Mon, 1 Jan 1900 10:00:00 +0000", QDate(1900, 1, 1));
        header("year 9999", "Fri, 31 Dec 9999 23:59:59 +0000", QDate(9999, 12, 31));
        header("leap second stays on its day", "Sat, 31 Dec 2016 23:59:60 +0000", QDate(2016, 12, 31));
        header("named zone EST", "Sat, 6 Aug 2011 23:30:00 EST", QDate(2011, 8, 6));
        header("no weekday, no seconds", "6 Aug 2011 23:30 -0500", QDate(2011, 8, 6));
        // The fall-backs are in local time.
        header("unparsable: date sent", "yesterday at noon", QDate(2011, 3, 2));
        header("year 1899: date sent", "Sun, 31 Dec 1899 10:00:00 +0000", QDate(2011, 3, 2));
        header("year 10000: date sent", "Sat, 1 Jan 10000 10:00:00 +0000", QDate(2011, 3, 2));
        header("no such day: date sent", "Tue, 30 Feb 2011 10:00:00 +0000", QDate(2011, 3, 2));
        QTest::newRow("missing: date sent") << QByteArray() << plist << QDate(2011, 3, 2);
        QTest::newRow("missing: date received, in real seconds")
            << QByteArray() << TestFiles::propertyList(dateEntry("date-received", 4, "real", ".75"))
            << QDate(2011, 4, 2);
        const QByteArray nested = "<key>meta</key><dict>" + dateEntry("date-sent", 4) + "</dict>\n";
        QTest::newRow("missing: a nested dictionary's date sent ignored")
            << QByteArray() << TestFiles::propertyList(nested + dateEntry("date-received", 3)) << QDate(2011, 3, 2);
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

QTEST_GUILESS_MAIN(TestMessageFile)
#include "tst_messagefile.moc"
