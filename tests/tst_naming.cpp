#include "convert/OutputNaming.h"

#include <QTest>
#include <QTimeZone>

using namespace Qt::StringLiterals;

// Header values that record the order in which they were asked for: D(ate), S(ubject), F(rom).
class RecordingHeaders : public MessageHeaders
{
public:
    QString subject, from, calls;
    // Late evening west of UTC: in UTC it is already 7 August.
    QDateTime GetDate() override
    {
        calls += u'D';
        return QDateTime(QDate(2011, 8, 6), QTime(23, 30), QTimeZone(-5 * 3600));
    }
    QString GetSubject() override
    {
        calls += u'S';
        return subject;
    }
    QString GetFrom() override
    {
        calls += u'F';
        return from;
    }
};

class TestNaming : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void compose_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("calls");
        auto row = [](const char *scheme, const char *subject, const char *from, const char *name, const char *calls,
                      const char *tag = nullptr) {
            QTest::newRow(tag ? tag : scheme)
                << QString(scheme) << QString(subject) << QString(from) << QString(name) << QString(calls);
        };
        row("original", "Budget", "Sales", "Grüße.eml", "");
        row("subject-date", "Budget", "Sales", "Budget 06-08-2011.eml", "DS");
        row("sender-subject-date", "Budget", "Sales", "Sales Budget 06-08-2011.eml", "DFS");
        row("date-sender-subject", "Budget", "Sales", "06-08-2011 Sales Budget.eml", "DFS");
        row("ymd-subject-sender", "Budget", "Sales", "2011-08-06 Budget Sales.eml", "DSF");
        row("mdy-subject-sender", "Budget", "Sales", "08-06-2011 Budget Sales.eml", "DSF");
        row("ymd-subject-sender", "", "Sales", "2011-08-06  Sales.eml", "DSF", "empty subject keeps its spaces");
        row("sender-subject-date", "Budget", "Jane Doe <jane@example.com>",
            "Jane Doe jane@example.com Budget 06-08-2011.eml", "DFS", "from in angle brackets");
        row("date-sender-subject", " Budget ", "", "06-08-2011   Budget .eml", "DFS", "blanks kept");
        row("subject-date", "...", "", "06-08-2011.eml", "DS", "leading dots and blank removed");
        row("subject-date", "-rf", "", "rf 06-08-2011.eml", "DS", "leading dash removed");
        row("sender-subject-date", "Budget", "", "Budget 06-08-2011.eml", "DFS", "empty sender leaves no blank first");
        row("sender-subject-date", "Budget", " - .-Sales", "Sales Budget 06-08-2011.eml", "DFS",
            "blanks, dashes and dots before the name removed");
        row("sender-subject-date", ".NET", "..a.b", "a.b .NET 06-08-2011.eml", "DFS", "dots inside kept");
        row("sender-subject-date", ".x", "Com1", "_Com1 .x 06-08-2011.eml", "DFS", "a Windows device name");
        const QByteArray words = QByteArray("Grüße ").repeated(40);
        const QByteArray longText = QByteArray("x").repeated(300);
        // 240 bytes are left before " 06-08-2011.eml": 30 words of 8 bytes, the last blank dropped.
        QTest::newRow("long subject gives way, date kept")
            << "subject-date" << QString(words) << "" << QString(words.left(239)) + " 06-08-2011.eml"
            << "DS";
        QTest::newRow("long sender gives way after the subject")
            << "sender-subject-date" << QString(longText) << QString(longText)
            << QString(longText.left(204)) + "  06-08-2011.eml"
            << "DFS";
        QTest::newRow("date first: the last field gives way")
            << "ymd-subject-sender"
            << "Budget" << QString(longText) << "2011-08-06 Budget " + QString(longText.left(198)) + ".eml"
            << "DSF";
        // Every row of the scheme table, as its row tells: the fields in order, the date in its
        // format and asked for first.
        for (const NamingSchemeRow &scheme : namingSchemes) {
            QStringList words;
            QString calls;
            for (NameField field : scheme.fields) {
                if (field == NameField::Date) {
                    words.append(QString(scheme.dateFormat)
                                     .replace(u"yyyy"_s, u"2011"_s)
                                     .replace(u"mm"_s, u"08"_s)
                                     .replace(u"dd"_s, u"06"_s));
                    calls.prepend(u'D');
                } else if (field != NameField::None) {
                    words.append(field == NameField::Subject ? u"Budget"_s : u"Sales"_s);
                    calls.append(field == NameField::Subject ? u'S' : u'F');
                }
            }
            const QString name = words.isEmpty() ? u"Grüße.eml"_s : words.join(u' ') + u".eml"_s;
            QTest::newRow(qPrintable(u"as the table says: "_s + scheme.name)) << QString(scheme.name) << "Budget"
                                                                              << "Sales" << name << calls;
        }
    }
    void compose()
    {
        QFETCH(QString, scheme);
        QFETCH(QString, subject);
        QFETCH(QString, from);
        RecordingHeaders headers;
        headers.subject = subject;
        headers.from = from;
        const std::optional<NamingScheme> found = schemeFromName(scheme);
        QVERIFY(found);
        QTEST(CleanOutputName(ComposeOutputName(u"Grüße.eml"_s, *found, headers)), "name");
        QTEST(headers.calls, "calls");
    }

    void cleanAndNumber_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("n"); // 0: cleaned only, else numbered after cleaning
        QTest::addColumn<QString>("expected");
        QString controls;
        for (char16_t code = 0; code < 32; ++code)
            controls += QChar(code) + u"x"_s;
        const QString a = u"a"_s, cjk = u"日"_s, emoji = u"😀"_s, eml = u".eml"_s;
        QTest::newRow("forbidden characters") << u"a:b?c\\d/e*f\"g<h>i|j.eml"_s << 0 << u"abcdefghij.eml"_s;
        QTest::newRow("codes 0 to 31") << controls + eml << 0 << u"x"_s.repeated(32) + eml;
        QTest::newRow("DEL, C1 and bidirectional controls; other non-ASCII kept")
            << u"a\x7f\u0085 é\u202e Ω\u2066 日本\u200f 😀.eml"_s << 0 << u"a é Ω 日本 😀.eml"_s;
        QTest::newRow("zero-width characters") << u"a\u200Bb\u200Cc\u200Dd\u2060e\uFEFF.eml"_s << 0 << u"abcde.eml"_s;
        QTest::newRow("exactly 220 not cut") << a.repeated(216) + eml << 0 << a.repeated(216) + eml;
        QTest::newRow("221 cut before .eml") << a.repeated(217) + eml << 0 << a.repeated(216) + eml;
        QTest::newRow("230 without extension") << a.repeated(230) << 0 << a.repeated(220);
        QTest::newRow("removal before the cap") << a.repeated(216) + u"::::.eml"_s << 0 << a.repeated(216) + eml;
        QTest::newRow("no lone surrogate at the cut")
            << a.repeated(215) + emoji + u"b.eml"_s << 0 << a.repeated(215) + eml;
        QTest::newRow("no letter parted from its mark at the cut")
            << a.repeated(215) + u"e\u0301b.eml"_s << 0 << a.repeated(215) + eml;
        // 251 bytes are left before ".eml": 83 characters of three bytes, 62 of four.
        QTest::newRow("255 bytes of CJK") << cjk.repeated(100) + eml << 0 << cjk.repeated(83) + eml;
        QTest::newRow("255 bytes of emoji") << emoji.repeated(70) + eml << 0 << emoji.repeated(62) + eml;
        QTest::newRow("Windows device names") << u"nul.tar.eml"_s << 0 << u"_nul.tar.eml"_s;
        QTest::newRow("names like them kept") << u"CONSOLE.eml"_s << 0 << u"CONSOLE.eml"_s;
        QTest::newRow("a device name before blanks") << u"com1  .eml"_s << 0 << u"_com1  .eml"_s;
        QTest::newRow("a dot or a blank at the end") << u"Inbox. "_s << 0 << u"Inbox__"_s;
        QTest::newRow("numbered") << u"Re Budget.eml"_s << 2 << u"Re Budget (2).eml"_s;
        QTest::newRow("numbered at 220") << a.repeated(216) + eml << 12 << a.repeated(211) + u" (12).eml"_s;
        QTest::newRow("numbered at 255 bytes") << cjk.repeated(83) + eml << 3 << cjk.repeated(82) + u" (3).eml"_s;
        QTest::newRow("numbered keeps the date")
            << a.repeated(204) + u"  06-08-2011.eml"_s << 2 << a.repeated(201) + u" 06-08-2011 (2).eml"_s;
    }
    void cleanAndNumber()
    {
        QFETCH(QString, name);
        QFETCH(int, n);
        QTEST(n ? numberedOutputName(CleanOutputName(name), n) : CleanOutputName(name), "expected");
    }

    void ownName_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("ownName");
        const char *const names[][2] = {
            {"note.emlx", "note.eml"},     {"NOTE.EMLX", "NOTE.eml"}, {"a.partial.emlx", "a.partial.eml"},
            {"Привет.Emlx", "Привет.eml"}, {"x.eml", "x.eml"},        {"X.EML", "X.eml"},
            {"x.txt", "x.txt.eml"}};
        for (const auto &[fileName, ownName] : names)
            QTest::newRow(fileName) << QString(fileName) << QString(ownName);
    }
    void ownName()
    {
        QFETCH(QString, fileName);
        QTEST(ownOutputName(fileName), "ownName");
    }
};

QTEST_GUILESS_MAIN(TestNaming)
#include "tst_naming.moc"
