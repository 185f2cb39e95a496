#include "TestFiles.h"
#include "convert/ConversionRun.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray base64Lines(const QByteArray &content)
{
    const QByteArray text = content.toBase64();
    QByteArray lines;
    for (qsizetype at = 0; at < text.size(); at += 76)
        lines += text.mid(at, 76) + '\n';
    return lines;
}

QByteArray binaryContent(int size)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes += char((i * 7 + i / 13) & 0xff);
    return bytes;
}

// A part the mail client may strip: its headers, its body as the full message holds it (line
// end included), the decoded bytes kept beside the message, and the name they are kept under.
struct Part {
    QByteArray section, headers, encoded, content;
    QString name;
};

const QList<Part> &parts()
{
    static const QByteArray png = binaryContent(5000), pdf = binaryContent(70000);
    static const QByteArray notes = "Grüße = Größe\nline two \nblank, then a lone CR \rhere\nends in a blank ";
    static const QByteArray raw = "plain 7bit text on one line";
    static const QList<Part> parts{
        {"2.2",
         "Content-Type: image/png; name=\"pic.png\"\nContent-Transfer-Encoding: base64\n"
         "Content-Disposition: inline; filename=\"pic.png\"\nContent-ID: <x>\n",
         base64Lines(png), png, "pic.png"},
        {"3", "Content-Type: application/pdf;\n name*=utf-8''R%C3%A9sum%C3%A9.pdf\nContent-Transfer-Encoding: base64\n",
         base64Lines(pdf), pdf, QString::fromUtf8("Résumé.pdf")},
        {"4", "Content-Type: text/plain; name=\"notes.txt\"\nContent-Transfer-Encoding: quoted-printable\n",
         "Gr=C3=BC=C3=9Fe =3D Gr=C3=B6=C3=9Fe\nline two=20\nblank, then a lone CR =0Dhere\nends in a blank=20\n", notes,
         "notes.txt"},
        {"5", "Content-Type: text/plain; name=\"raw.txt\"\nContent-Transfer-Encoding: 7bit\n", raw + "\n", raw,
         "raw.txt"},
    };
    return parts;
}

const QStringList allParts{"2.2", "3", "4", "5"};

// A message with a text part, an inline image inside multipart/related, a PDF with an RFC 2231
// name, a quoted-printable text file and a 7bit file: sections 1, 2.1, 2.2, 3, 4, 5. The
// sections in `stripped` are as a partial copy holds them.
QByteArray message(const QStringList &stripped, const QByteArray &eol = "\n", bool blankLineInStrippedBody = false)
{
    auto part = [&](int index) {
        const Part &p = parts()[index];
        if (!stripped.contains(QString::fromLatin1(p.section)))
            return p.headers + "\n" + p.encoded;
        return p.headers + "X-Apple-Content-Length: " + QByteArray::number(p.encoded.size()) + "\n\n" +
               (blankLineInStrippedBody ? "\n" : "");
    };
    QByteArray text = "From: Ann <ann@example.com>\nSubject: partial\nMIME-Version: 1.0\n"
                      "Content-Type: multipart/mixed; boundary=\"outer\"\n\nPreamble\n"
                      "--outer\nContent-Type: text/plain\n\nHello\n"
                      "--outer\nContent-Type: multipart/related; boundary=\"inner\"\n\n"
                      "--inner\nContent-Type: text/html\n\n<img src=\"cid:x\">\n--inner\n" +
                      part(0) + "--inner--\n--outer\n" + part(1) + "--outer\n" + part(2) + "--outer\n" + part(3) +
                      "--outer--\nEpilogue\n";
    return text.replace("\n", eol); // the message's own line ends; the kept contents stay as they are
}

} // namespace

class PartialMessageTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString messages() const { return m_dir->filePath("V10/Acct/Box.mbox/Data/Messages"); }
    QString attachment(const QString &section, const QString &name) const
    {
        return m_dir->filePath("V10/Acct/Box.mbox/Data/Attachments/7/" + section + '/' + name);
    }
    // Keeps the decoded content of every part in the attachment folders, but for the sections left out.
    void keepAttachments(const QStringList &leftOut = {}) const
    {
        for (const Part &part : parts())
            if (!leftOut.contains(QString::fromLatin1(part.section)))
                QVERIFY(TestFiles::write(attachment(part.section, part.name), part.content));
    }
    // Writes the partial copy 7.partial.emlx and converts it.
    RunReport convertPartial(const QByteArray &partial)
    {
        TestFiles::write(messages() + "/7.partial.emlx", TestFiles::emlx(partial));
        return convertAll({messages() + "/7.partial.emlx"}, {m_dir->filePath("out"), NamingScheme::Original, false});
    }
    QByteArray output(const RunReport &report) const
    {
        return report.outputs.size() == 1 ? TestFiles::read(report.outputs[0].target) : QByteArray("<no output>");
    }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void fillsStrippedPartsIn_data()
    {
        QTest::addColumn<QByteArray>("eol");
        QTest::addColumn<bool>("blankLineInStrippedBody");
        QTest::newRow("LF") << QByteArray("\n") << false;
        QTest::newRow("LF, blank stripped body") << QByteArray("\n") << true;
        QTest::newRow("CRLF") << QByteArray("\r\n") << false;
    }
    void fillsStrippedPartsIn()
    {
        QFETCH(QByteArray, eol);
        QFETCH(bool, blankLineInStrippedBody);
        keepAttachments();
        const RunReport report = convertPartial(message(allParts, eol, blankLineInStrippedBody));
        QVERIFY(report.succeeded());
        QCOMPARE(output(report), message({}, eol));
        QVERIFY(report.outputs[0].target.endsWith("/7.partial.eml"));
        QCOMPARE(report.warnings.size(), 0);
    }

    // Older stores keep a part encoded already, beside the message.
    void copiesAnEncodedPartAsItIs()
    {
        keepAttachments({"3"});
        QVERIFY(TestFiles::write(messages() + "/7.3.emlxpart", parts()[1].encoded));
        const RunReport report = convertPartial(message(allParts));
        QVERIFY(report.succeeded());
        QCOMPARE(output(report), message({}));
        QCOMPARE(report.warnings.size(), 0);
    }

    // A part not found keeps its empty body and its length header; every other part is filled in.
    void keepsAPartNotFoundEmpty()
    {
        keepAttachments({"3"});
        const RunReport report = convertPartial(message(allParts));
        QVERIFY(report.succeeded());
        QCOMPARE(output(report), message({"3"}));
        QCOMPARE(report.warnings.size(), 1);
        QVERIFY2(report.warnings[0].text.contains(QString::fromUtf8("part 3 (Résumé.pdf)")),
                 qPrintable(report.warnings[0].text));
    }

    // The full copy is converted once: the partial one is skipped when both are listed, and
    // replaced by it when the partial one is listed alone.
    void prefersTheFullCopy_data()
    {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<int>("skipped");
        QTest::addColumn<QString>("warning");
        QTest::newRow("both listed") << QStringList{"7.partial.emlx", "7.emlx"} << 1 << "is converted in this run";
        QTest::newRow("full copy listed first")
            << QStringList{"7.emlx", "7.partial.emlx"} << 1 << "is converted in this run";
        QTest::newRow("partial listed alone") << QStringList{"7.partial.emlx"} << 0 << "converted from its full copy";
    }
    void prefersTheFullCopy()
    {
        QFETCH(QStringList, listed);
        QFETCH(QString, warning);
        QVERIFY(TestFiles::write(messages() + "/7.partial.emlx", TestFiles::emlx(message(allParts))));
        QVERIFY(TestFiles::write(messages() + "/7.emlx", TestFiles::emlx(message({}))));
        QStringList sources;
        for (const QString &name : listed)
            sources << messages() + '/' + name;
        const RunReport report = convertAll(sources, {m_dir->filePath("out"), NamingScheme::Original, false});
        QVERIFY(report.succeeded());
        QTEST(report.skippedPartials, "skipped");
        QCOMPARE(report.converted, 1);
        QCOMPARE(report.warnings.size(), 1);
        QVERIFY2(report.warnings[0].text.contains(warning) && report.warnings[0].text.contains("7.emlx"),
                 qPrintable(report.warnings[0].text));
        QCOMPARE(output(report), message({}));
        QVERIFY(report.outputs[0].target.endsWith("/7.eml"));
    }

    void layoutKeepsOnlyMailboxes_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("withAccounts"); // when the run keeps one folder per account
        QTest::addColumn<bool>("warns");
        QTest::newRow("nested mailboxes") << "/u/Mail/V10/1A2B/Projects.mbox/Alpha.mbox/3C4D/Data/1/2/Messages/9.emlx"
                                          << "Projects/Alpha/"
                                          << "1A2B/Projects/Alpha/" << false;
        QTest::newRow("imap mailbox") << "/u/Mail/V2/IMAP-ann@x/INBOX.imapmbox/Messages/9.emlx"
                                      << "INBOX/"
                                      << "IMAP-ann@x/INBOX/" << false;
        QTest::newRow("no mailbox") << "/u/loose/9.emlx"
                                    << ""
                                    << "" << false;
        QTest::newRow("store folder named like one, above the store") << "/V1/x/Mail/V10/acc/In.mbox/Messages/9.emlx"
                                                                      << "In/"
                                                                      << "acc/In/" << false;
        // Names that would stay in their folder or climb out of it.
        QTest::newRow("dots") << "/u/...mbox/..mbox/Messages/9.emlx"
                              << "__/_/"
                              << "__/_/" << true;
        QTest::newRow("dots and blanks, unnamed") << "/u/V3/acc/ . .imapmbox/.mbox/Messages/9.emlx"
                                                  << "___/_/"
                                                  << "acc/___/_/" << true;
    }
    void layoutKeepsOnlyMailboxes()
    {
        QFETCH(QString, source);
        QFETCH(bool, warns);
        const OutputFolder folder = outputFolderBelowDestination(source, OutputLayout::Mailboxes);
        QTEST(folder.path, "folder");
        QTEST(outputFolderBelowDestination(source, OutputLayout::Mailboxes, true).path, "withAccounts");
        QCOMPARE(!folder.warning.isEmpty(), warns);
    }
};

QTEST_GUILESS_MAIN(PartialMessageTest)
#include "tst_partialmessage.moc"
