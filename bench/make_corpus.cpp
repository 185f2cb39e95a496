// Writes a deterministic tree of .emlx files laid out as a Mac mail store:
// V10/<account>/<Mailbox>.mbox/<store id>/Data/<d>/<d>/Messages/<n>.emlx
// Usage: make-corpus OUT N [--small]   (--small: every message about 1 KB, for scan timing)
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <cstdint>
#include <cstdio>

namespace {

// xorshift64*: the same sequence on every platform and compiler.
class Random
{
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t next()
    {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 2685821657736338717ULL;
    }
    int below(int bound) { return int(next() % uint64_t(bound)); }
    int between(int low, int high) { return low + below(high - low + 1); }

private:
    uint64_t m_state;
};

const QStringList mailboxes = {"INBOX.mbox",
                               "Sent Messages.mbox",
                               "Archive.mbox",
                               "Projects.mbox/Alpha.mbox",
                               "Projects.mbox/Beta.mbox",
                               "Projects.mbox/Beta.mbox/Old.mbox"};
const QStringList accounts = {"7F1C9A2E-4B1D-4E2A-9C3F-1A2B3C4D5E6F", "0D9E8F7A-6B5C-4D3E-2F1A-0B9C8D7E6F5A",
                              "A1B2C3D4-E5F6-4711-8899-AABBCCDDEEFF"};
const QStringList words = {"budget",  "meeting", "report",  "Quarterly", "review", "draft",    "plan", "invoice",
                           "holiday", "photos",  "project", "update",    "notes",  "schedule", "team", "offer"};
const QStringList unicodeWords = {"Grüße", "Ångström", "café", "Привет", "日本語", "naïve", "Überweisung", "été"};
const QStringList people = {"Ann Smith <ann@example.com>", "Bob <bob@example.org>",
                            "\"Jones, Carol\" <carol@example.net>", "dave@example.com", "Eve Müller <eve@example.de>"};

QByteArray subjectFor(Random &random)
{
    QStringList parts;
    const int count = random.between(2, 6);
    const bool encoded = random.below(3) == 0;
    for (int i = 0; i < count; ++i)
        parts << (encoded && i == 0 ? unicodeWords[random.below(unicodeWords.size())]
                                    : words[random.below(words.size())]);
    const QByteArray text = parts.join(' ').toUtf8();
    if (!encoded)
        return (random.below(4) == 0 ? "Re: " : "") + text;
    return "=?UTF-8?B?" + text.toBase64() + "?=";
}

QByteArray dateFor(int index)
{
    static const char *days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int day = index % 28 + 1;
    const int month = (index / 28) % 12;
    const int year = 2005 + (index / 336) % 18;
    return QByteArray(days[index % 7]) + ", " + QByteArray::number(day) + ' ' + months[month] + ' ' +
           QByteArray::number(year) + ' ' + QByteArray::number(index % 24).rightJustified(2, '0') + ":" +
           QByteArray::number(index % 60).rightJustified(2, '0') + ":00 " + (index % 2 ? "+0200" : "-0500");
}

int sizeFor(Random &random, bool small)
{
    if (small)
        return 1000;
    return random.below(100) < 3 ? random.between(200 << 10, 2 << 20) : random.between(512, 80 << 10);
}

QByteArray textBody(Random &random, int size)
{
    QByteArray body;
    while (body.size() < size) {
        QByteArray line;
        while (line.size() < 70)
            line += words[random.below(words.size())].toUtf8() + ' ';
        body += line.trimmed() + '\n';
    }
    return body;
}

QByteArray message(Random &random, int index, bool small)
{
    const int size = sizeFor(random, small);
    QByteArray headers = "Return-Path: <" + QByteArray::number(index) +
                         "@example.com>\n"
                         "From: " +
                         people[random.below(people.size())].toUtf8() +
                         "\n"
                         "To: " +
                         people[random.below(people.size())].toUtf8() +
                         "\n"
                         "Subject: " +
                         subjectFor(random) +
                         "\n"
                         "Date: " +
                         dateFor(index) +
                         "\n"
                         "Message-Id: <" +
                         QByteArray::number(index) +
                         ".corpus@example.com>\n"
                         "Mime-Version: 1.0\n";
    if (size < (200 << 10))
        return headers + "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit\n\n" +
               textBody(random, size);
    QByteArray attachment(size * 3 / 4, Qt::Uninitialized);
    for (char &c : attachment)
        c = char(random.next() >> 56);
    QByteArray encoded;
    const QByteArray base64 = attachment.toBase64();
    for (qsizetype at = 0; at < base64.size(); at += 76)
        encoded += base64.mid(at, 76) + '\n';
    return headers +
           "Content-Type: multipart/mixed; boundary=\"corpus-boundary\"\n\n"
           "--corpus-boundary\nContent-Type: text/plain; charset=utf-8\n\n" +
           textBody(random, 600) +
           "--corpus-boundary\nContent-Type: application/octet-stream; name=\"data.bin\"\n"
           "Content-Transfer-Encoding: base64\nContent-Disposition: attachment; filename=\"data.bin\"\n\n" +
           encoded + "--corpus-boundary--\n";
}

QByteArray propertyList(int index)
{
    const QByteArray seconds = QByteArray::number(1104537600LL + qint64(index) * 9000);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict>\n"
           "\t<key>date-received</key>\n\t<integer>" +
           seconds +
           "</integer>\n"
           "\t<key>date-sent</key>\n\t<integer>" +
           seconds +
           "</integer>\n"
           "\t<key>flags</key>\n\t<integer>8590195713</integer>\n"
           "\t<key>remote-id</key>\n\t<string>" +
           QByteArray::number(index) + "</string>\n</dict>\n</plist>\n";
}

QString folderFor(int index, int number)
{
    const QString account = accounts[index % accounts.size()];
    const QString mailbox = mailboxes[(index / accounts.size()) % mailboxes.size()];
    return QStringLiteral("V10/%1/%2/%3/Data/%4/%5/Messages")
        .arg(account, mailbox, QStringLiteral("5E3C%1-STORE").arg(index % 7), QString::number((number / 1000) % 10),
             QString::number((number / 10000) % 10));
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: make-corpus OUT N [--small]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int count = QByteArray(argv[2]).toInt();
    const bool small = argc > 3 && QByteArray(argv[3]) == "--small";
    Random random(0x5EEDC0FFEEULL);
    qint64 bytes = 0;
    QString lastFolder;
    for (int index = 0; index < count; ++index) {
        const int number = 1000 + index;
        const QString folder = out + u'/' + folderFor(index, number);
        if (folder != lastFolder && !QDir().mkpath(folder)) {
            std::fprintf(stderr, "make-corpus: cannot create %s\n", qPrintable(folder));
            return 1;
        }
        lastFolder = folder;
        const QByteArray body = message(random, index, small);
        const QByteArray file =
            QByteArray::number(body.size()).leftJustified(10, ' ') + '\n' + body + propertyList(index);
        QFile output(folder + QStringLiteral("/%1.emlx").arg(number));
        if (!output.open(QIODevice::WriteOnly) || output.write(file) != file.size()) {
            std::fprintf(stderr, "make-corpus: cannot write %s\n", qPrintable(output.fileName()));
            return 1;
        }
        bytes += file.size();
    }
    std::printf("%d messages, %.1f MB in %s\n", count, double(bytes) / 1e6, qPrintable(out));
    return 0;
}
