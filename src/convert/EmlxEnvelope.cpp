#include "convert/EmlxEnvelope.h"

#include "platform/PathHelpers.h"
#include "platform/SourceFile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <QXmlStreamReader>

#include <limits>

namespace {

constexpr qint64 countLineLimit = 64;
constexpr qint64 propertyListLimit = 1 << 20;

// The byte count of the first line, and the length of that line with its line break.
struct CountLine {
    qint64 count = 0;
    qint64 length = 0;
    QByteArray digits;
};

std::optional<CountLine> parseCountLine(const QByteArray &head)
{
    const qsizetype end = head.indexOf('\n');
    if (end < 0)
        return std::nullopt;
    const QByteArrayView line = QByteArrayView(head).first(end).trimmed();
    if (line.isEmpty())
        return std::nullopt;
    for (char c : line)
        if (c < '0' || c > '9')
            return std::nullopt;
    // A count beyond 64 bits is still a count line, only one that no file can match.
    const qint64 count = line.size() > 18 ? std::numeric_limits<qint64>::max() : line.toLongLong();
    return CountLine{count, end + 1, line.toByteArray()};
}

bool startsPropertyList(const QByteArray &bytes)
{
    return bytes.startsWith("<?xml") || bytes.startsWith("<plist");
}

// Finds the trailing property list by looking backwards from the end of the file: it ends
// the file with "</plist>" and starts at its XML declaration, or at "<plist" without one.
qint64 findTrailingPropertyList(SourceFile &file, qint64 from)
{
    const qint64 size = file.size();
    const qint64 tailStart = qMax(from, size - propertyListLimit);
    const QByteArray bytes = file.readAt(tailStart, size - tailStart);
    const QByteArrayView tail(bytes);
    if (!tail.trimmed().endsWith("</plist>"))
        return -1;
    const qsizetype plist = tail.lastIndexOf("<plist");
    if (plist < 0)
        return -1;
    const qsizetype declaration = tail.lastIndexOf("<?xml", plist);
    if (declaration >= 0) {
        // Only a prologue (the declaration, blanks, a doctype) may stand between the two;
        // otherwise the "<?xml" belongs to the message body.
        const QByteArrayView between = tail.sliced(declaration, plist - declaration);
        const qsizetype close = between.indexOf("?>");
        const QByteArrayView rest = between.sliced(close + 2).trimmed();
        const bool doctype = rest.startsWith("<!DOCTYPE") && rest.endsWith('>') && rest.count('<') == 1;
        if (close >= 0 && between.first(close).count('<') == 1 && (rest.isEmpty() || doctype))
            return tailStart + declaration;
    }
    return tailStart + plist;
}

// "Name: value": a name of printable characters without blanks, then a colon.
bool isHeaderLine(QByteArrayView line)
{
    qsizetype nameEnd = 0;
    while (nameEnd < line.size() && line[nameEnd] >= '!' && line[nameEnd] <= '~' && line[nameEnd] != ':')
        ++nameEnd;
    return nameEnd > 0 && nameEnd < line.size() && line[nameEnd] == ':';
}

// Whether a header line ("Name: value") comes before the first blank line. Only the first
// bytes are looked at: a header block that starts later than that is no header block.
bool startsWithHeaderLine(SourceFile &file, qint64 offset, qint64 length)
{
    constexpr qint64 window = 16 << 10;
    qint64 got = 0;
    QByteArray head(qMin(length, window), Qt::Uninitialized);
    if (!file.readAt(offset, head.data(), head.size(), &got))
        return true; // unreadable here; the copy will tell
    head.truncate(got);
    qsizetype lineStart = 0;
    while (lineStart < head.size()) {
        const qsizetype lineEnd = head.indexOf('\n', lineStart);
        const QByteArrayView line =
            QByteArrayView(head).sliced(lineStart, (lineEnd < 0 ? head.size() : lineEnd) - lineStart);
        if (isHeaderLine(line))
            return true;
        if (lineEnd < 0 || line.isEmpty() || line == "\r")
            return false; // the end of the look, or the blank line that ends a header block
        lineStart = lineEnd + 1;
    }
    return false;
}

// Whether a line can begin a message as it is: a header line ("Name: value") or the "From "
// line of a mailbox.
bool beginsMessage(const QByteArray &line)
{
    return line.startsWith("From ") || isHeaderLine(line);
}

// Where the message lies: after the count line, before the property list.
EmlxEnvelope::Result readMessageRange(SourceFile &file, const QString &path, EmlxEnvelope envelope);

} // namespace

EmlxEnvelope::Result EmlxEnvelope::read(const QString &path)
{
    SourceFile file(path);
    return read(file);
}

EmlxEnvelope::Result EmlxEnvelope::read(SourceFile &file)
{
    const QString &path = file.path();
    if (!file.isOpen() && !file.open()) {
        // Whether the file is there at all is asked only once opening it failed.
        if (!QFile::exists(path))
            return {std::nullopt,
                    QFileInfo(path).isSymLink()
                        ? QStringLiteral("%1 is a link whose target does not exist").arg(quotedPath(path))
                        : QStringLiteral("source file %1 is gone").arg(quotedPath(path)),
                    NoteReason::SourceGone};
        return {std::nullopt, file.failure(), file.failureReason()};
    }

    EmlxEnvelope envelope;
    envelope.fileSize = file.size();
    if (envelope.fileSize == 0)
        return {std::nullopt, QStringLiteral("%1 is empty: it holds no message").arg(quotedPath(path))};

    Result result = readMessageRange(file, path, envelope);
    if (result.envelope && !startsWithHeaderLine(file, result.envelope->messageOffset, result.envelope->messageLength)) {
        result.envelope->contentWarning =
            QStringLiteral("%1 does not look like a mail message (no header lines); written as it is")
                .arg(quotedPath(path));
        // That says it all: no word about its first line as well.
        if (result.envelope->messageOffset == 0 && result.envelope->propertyListOffset < 0)
            result.envelope->warning.clear();
    }
    return result;
}

namespace {

EmlxEnvelope::Result readMessageRange(SourceFile &file, const QString &path, EmlxEnvelope envelope)
{
    const std::optional<CountLine> countLine = parseCountLine(file.readAt(0, countLineLimit));
    if (!countLine) {
        // Without a count, a complete property list that ends the file is still the mail client's.
        const qint64 propertyList = findTrailingPropertyList(file, 0);
        if (propertyList > 0 && file.readAt(propertyList, 5) == "<?xml") {
            envelope.propertyListOffset = propertyList;
            envelope.messageLength = propertyList;
            envelope.warning = QStringLiteral("%1: the first line holds no byte count; the message was taken up to "
                                              "the mail client's data")
                                   .arg(quotedPath(path));
        } else {
            envelope.messageLength = envelope.fileSize;
            // A first line that is neither a count nor the start of a message may be a damaged
            // count: the file is written whole, that line included, and the user told.
            const QByteArray head = file.readAt(0, countLineLimit);
            const QByteArray firstLine = head.left(head.indexOf('\n')).trimmed();
            if (!firstLine.isEmpty() && !beginsMessage(firstLine))
                envelope.warning =
                    QStringLiteral("%1: first line is not a message size; written as it is").arg(quotedPath(path));
        }
        return {envelope, {}};
    }

    envelope.messageOffset = countLine->length;
    const qint64 available = envelope.fileSize - envelope.messageOffset;
    if (countLine->count == available) {
        envelope.messageLength = countLine->count;
    } else if (countLine->count < available &&
               startsPropertyList(file.readAt(envelope.messageOffset + countLine->count, 6))) {
        envelope.messageLength = countLine->count;
        envelope.propertyListOffset = envelope.messageOffset + countLine->count;
    } else {
        envelope.propertyListOffset = findTrailingPropertyList(file, envelope.messageOffset);
        const qint64 messageEnd = envelope.propertyListOffset >= 0 ? envelope.propertyListOffset : envelope.fileSize;
        envelope.messageLength = messageEnd - envelope.messageOffset;
        envelope.warning = QStringLiteral("%1: the byte count says %2 bytes, but the message holds %3; "
                                          "the message was taken up to %4")
                               .arg(quotedPath(path))
                               .arg(QString::fromLatin1(countLine->digits))
                               .arg(envelope.messageLength)
                               .arg(envelope.propertyListOffset >= 0 ? QStringLiteral("the mail client's data")
                                                                     : QStringLiteral("the end of the file"));
    }
    if (envelope.messageLength <= 0)
        return {std::nullopt, QStringLiteral("%1 holds no message").arg(quotedPath(path))};
    return {envelope, {}};
}

QDateTime fromUnixSeconds(const QString &text)
{
    bool ok = false;
    const double seconds = text.trimmed().toDouble(&ok);
    // Beyond about 290 million years QDateTime has nothing to offer.
    if (!ok || !(seconds > -9.0e12 && seconds < 9.0e12))
        return {};
    return QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000.0), QTimeZone::systemTimeZone());
}

} // namespace

PropertyListDates readPropertyListDates(SourceFile &file, const EmlxEnvelope &envelope)
{
    PropertyListDates dates;
    if (envelope.propertyListOffset < 0 || !file.isOpen())
        return dates;
    QXmlStreamReader xml(file.readAt(envelope.propertyListOffset, propertyListLimit));
    // Only the top-level dictionary's keys count; nested dictionaries may reuse the names.
    int depth = 0;
    QString key;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++depth;
        if (depth != 3)
            continue;
        const QStringView name = xml.name();
        if (name == u"key") {
            key = xml.readElementText();
            --depth;
        } else if (key == u"flags" && name == u"integer") {
            dates.flags = xml.readElementText().trimmed().toULongLong();
            --depth;
            key.clear();
        } else if (name == u"integer" || name == u"real") {
            const QDateTime value = fromUnixSeconds(xml.readElementText());
            --depth;
            if (key == u"date-sent")
                dates.sent = value;
            else if (key == u"date-received")
                dates.received = value;
            key.clear();
        } else {
            key.clear();
        }
    }
    return dates;
}
