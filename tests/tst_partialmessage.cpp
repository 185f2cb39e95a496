#include "ConversionRun.h"
#include "PathHelpers.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A stripped part as the full message holds it and as the mail client keeps it.
struct PartFixture {
    QByteArray headers; // ends with a line end
    QByteArray encoded; // the body as the full message holds it, line end included
    QByteArray content; // the decoded bytes the mail client keeps
};

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

// A message with a text part, an inline image inside multipart/related, a PDF with an
// RFC 2231 name, a quoted-printable text file and a 7bit file: sections 1, 2.1, 2.2, 3, 4, 5.
struct MessageFixture {
    QByteArray full;
    QByteArray partial;
    QMap<QString, QByteArray> contents; // section -> decoded content
};

MessageFixture makeMessage(const QByteArray &eol, bool blankLineInStrippedBody)
{
    MessageFixture m;
    const QByteArray png = binaryContent(5000);
    const QByteArray pdf = binaryContent(70000);
    const QByteArray notes = "Gr\xc3\xbc\xc3\x9f"
                             "e = Gr\xc3\xb6\xc3\x9f"
                             "e\nline two \n";
    const QByteArray raw = "plain 7bit text on one line";
    m.contents = {{"2.2", png}, {"3", pdf}, {"4", notes}, {"5", raw}};
    const QMap<QString, PartFixture> stripped = {
        {"2.2",
         {"Content-Type: image/png; name=\"pic.png\"\nContent-Transfer-Encoding: base64\n"
          "Content-Disposition: inline; filename=\"pic.png\"\nContent-ID: <x>\n",
          base64Lines(png), png}},
        {"3",
         {"Content-Type: application/pdf;\n name*=utf-8''R%C3%A9sum%C3%A9.pdf\n"
          "Content-Transfer-Encoding: base64\n",
          base64Lines(pdf), pdf}},
        {"4",
         {"Content-Type: text/plain; name=\"notes.txt\"\nContent-Transfer-Encoding: quoted-printable\n",
          "Gr=C3=BC=C3=9Fe =3D Gr=C3=B6=C3=9Fe\nline two=20\n\n", notes}},
        {"5", {"Content-Type: text/plain; name=\"raw.txt\"\nContent-Transfer-Encoding: 7bit\n", raw + "\n", raw}},
    };
    auto part = [&](const QString &section, bool forPartial) {
        const PartFixture &p = stripped[section];
        if (!forPartial)
            return p.headers + "\n" + p.encoded;
        return p.headers + "X-Apple-Content-Length: " + QByteArray::number(p.encoded.size()) + "\n\n" +
               (blankLineInStrippedBody ? QByteArray("\n") : QByteArray());
    };
    for (bool forPartial : {false, true}) {
        QByteArray text = "From: Ann <ann@example.com>\nSubject: partial\nMIME-Version: 1.0\n"
                          "Content-Type: multipart/mixed; boundary=\"outer\"\n\nPreamble\n"
                          "--outer\nContent-Type: text/plain\n\nHello\n"
                          "--outer\nContent-Type: multipart/related; boundary=\"inner\"\n\n"
                          "--inner\nContent-Type: text/html\n\n<img src=\"cid:x\">\n--inner\n" +
                          part("2.2", forPartial) + "--inner--\n--outer\n" + part("3", forPartial) + "--outer\n" +
                          part("4", forPartial) + "--outer\n" + part("5", forPartial) + "--outer--\nEpilogue\n";
        text.replace("\n", eol); // the message's own line ends; the kept contents stay as they are
        (forPartial ? m.partial : m.full) = text;
    }
    return m;
}

} // namespace

class PartialMessageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void putsAttachmentsBack_data();
    void putsAttachmentsBack();
    void leavesMissingPartsEmpty_data();
    void leavesMissingPartsEmpty();
    void usesEncodedSiblingFiles();
    void prefersTheFullCopy();
    void layoutKeepsOnlyMailboxes_data();
    void layoutKeepsOnlyMailboxes();

private:
    QString messages() const { return m_dir->filePath("V10/Acct/Box.mbox/Data/Messages"); }
    QString attachment(const QString &section, const QString &name) const
    {
        return m_dir->filePath("V10/Acct/Box.mbox/Data/Attachments/7/" + section + '/' + name);
    }
    RunReport convert(const QString &source)
    {
        return convertAll({source}, {m_dir->filePath("out"), NamingScheme::Original, false});
    }
    QByteArray output(const RunReport &report) const
    {
        return report.outputs.size() == 1 ? TestFiles::read(report.outputs[0].target) : QByteArray("<no output>");
    }
    void writeAttachments(const MessageFixture &m, const QString &pdfName)
    {
        QVERIFY(TestFiles::write(attachment("2.2", "pic.png"), m.contents["2.2"]));
        QVERIFY(TestFiles::write(attachment("3", pdfName), m.contents["3"]));
        QVERIFY(TestFiles::write(attachment("4", "notes.txt"), m.contents["4"]));
        QVERIFY(TestFiles::write(attachment("5", "raw.txt"), m.contents["5"]));
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void PartialMessageTest::putsAttachmentsBack_data()
{
    QTest::addColumn<QByteArray>("eol");
    QTest::addColumn<bool>("blankLineInStrippedBody");
    QTest::addColumn<QString>("pdfName");
    QTest::newRow("LF, same name") << QByteArray("\n") << false << QString::fromUtf8("Résumé.pdf");
    QTest::newRow("LF, blank stripped body") << QByteArray("\n") << true << QString::fromUtf8("Résumé.pdf");
    QTest::newRow("CRLF") << QByteArray("\r\n") << false << QString::fromUtf8("Résumé.pdf");
    QTest::newRow("name stored decomposed")
        << QByteArray("\n") << false << QString::fromUtf8("Résumé.pdf").normalized(QString::NormalizationForm_D);
    QTest::newRow("extension added") << QByteArray("\n") << false << QString::fromUtf8("Résumé.pdf.pdf");
    QTest::newRow("only file, other name") << QByteArray("\n") << false << QStringLiteral("Attachment");
}

void PartialMessageTest::putsAttachmentsBack()
{
    QFETCH(QByteArray, eol);
    QFETCH(bool, blankLineInStrippedBody);
    QFETCH(QString, pdfName);
    const MessageFixture m = makeMessage(eol, blankLineInStrippedBody);
    QVERIFY(TestFiles::write(messages() + "/7.partial.emlx", TestFiles::emlx(m.partial)));
    writeAttachments(m, pdfName);

    const RunReport report = convert(messages() + "/7.partial.emlx");
    QVERIFY(report.succeeded());
    QCOMPARE(report.warnings.size(), 0);
    QCOMPARE(output(report), m.full);
    QVERIFY(report.outputs[0].target.endsWith("/7.partial.eml"));
}

void PartialMessageTest::leavesMissingPartsEmpty_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("no attachment folder") << "none";
    QTest::newRow("folder instead of a file") << "folder";
    QTest::newRow("two files, neither named") << "ambiguous";
}

void PartialMessageTest::leavesMissingPartsEmpty()
{
    QFETCH(QString, fault);
    const MessageFixture m = makeMessage("\n", false);
    QVERIFY(TestFiles::write(messages() + "/7.partial.emlx", TestFiles::emlx(m.partial)));
    writeAttachments(m, QString::fromUtf8("Résumé.pdf"));
    QVERIFY(QDir(attachment("3", "")).removeRecursively());
    if (fault == "folder")
        QVERIFY(QDir().mkpath(attachment("3", QString::fromUtf8("Résumé.pdf"))));
    else if (fault == "ambiguous")
        QVERIFY(TestFiles::write(attachment("3", "a.pdf"), "a") && TestFiles::write(attachment("3", "b.pdf"), "b"));

    const RunReport report = convert(messages() + "/7.partial.emlx");
    QVERIFY(report.succeeded());
    QCOMPARE(report.warnings.size(), 1);
    QVERIFY2(report.warnings[0].text.contains(QString::fromUtf8("part 3 (Résumé.pdf)")),
             qPrintable(report.warnings[0].text));
    // Part 3 keeps its empty body and its length header; every other part is filled in.
    const qsizetype pdfStart = m.partial.indexOf("Content-Type: application/pdf");
    const qsizetype pdfEnd = m.partial.indexOf("--outer", pdfStart);
    const QByteArray strippedPdf = m.partial.mid(pdfStart, pdfEnd - pdfStart);
    const qsizetype fullStart = m.full.indexOf("Content-Type: application/pdf");
    const qsizetype fullEnd = m.full.indexOf("--outer", fullStart);
    QByteArray expected = m.full;
    expected.replace(fullStart, fullEnd - fullStart, strippedPdf);
    QCOMPARE(output(report), expected);
}

void PartialMessageTest::usesEncodedSiblingFiles()
{
    const QByteArray message = "Subject: old store\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
                               "Content-Type: text/plain\n\nHi\n--b\nContent-Type: application/zip; name=a.zip\n"
                               "Content-Transfer-Encoding: base64\nX-Apple-Content-Length: 9\n\n--b--\n";
    QVERIFY(TestFiles::write(messages() + "/7.partial.emlx", TestFiles::emlx(message)));
    QVERIFY(TestFiles::write(messages() + "/7.2.emlxpart", "UEsDBAo=\n"));
    const RunReport report = convert(messages() + "/7.partial.emlx");
    QVERIFY(report.succeeded());
    QByteArray expected = message;
    expected.replace("X-Apple-Content-Length: 9\n\n", "\nUEsDBAo=\n");
    QCOMPARE(output(report), expected);
}

void PartialMessageTest::prefersTheFullCopy()
{
    const MessageFixture m = makeMessage("\n", false);
    QVERIFY(TestFiles::write(messages() + "/7.partial.emlx", TestFiles::emlx(m.partial)));
    QVERIFY(TestFiles::write(messages() + "/7.emlx", TestFiles::emlx(m.full)));
    const RunReport report = convertAll({messages() + "/7.partial.emlx", messages() + "/7.emlx"},
                                        {m_dir->filePath("out"), NamingScheme::Original, false});
    QVERIFY(report.succeeded());
    QCOMPARE(report.skippedPartials, 1);
    QCOMPARE(report.converted, 1);
    QVERIFY(report.warnings[0].text.contains("7.emlx"));
    QCOMPARE(output(report), m.full);
}

void PartialMessageTest::layoutKeepsOnlyMailboxes_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("folder");
    QTest::newRow("nested mailboxes") << "/u/Mail/V10/1A2B/Projects.mbox/Alpha.mbox/3C4D/Data/1/2/Messages/9.emlx"
                                      << "Projects/Alpha/";
    QTest::newRow("imap mailbox") << "/u/Mail/V2/IMAP-ann@x/INBOX.imapmbox/Messages/9.emlx"
                                  << "INBOX/";
    QTest::newRow("no mailbox") << "/u/loose/9.emlx"
                                << "";
}

void PartialMessageTest::layoutKeepsOnlyMailboxes()
{
    QFETCH(QString, source);
    QFETCH(QString, folder);
    QCOMPARE(outputFolderBelowDestination(source, OutputLayout::Mailboxes), folder);
    QCOMPARE(outputFolderBelowDestination(source, OutputLayout::Mirror), QString(GetFolderPart(source)).mid(1));
}

QTEST_GUILESS_MAIN(PartialMessageTest)
#include "tst_partialmessage.moc"
