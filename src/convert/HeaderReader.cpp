#include "convert/HeaderReader.h"
#include "convert/HeaderFields.h"
#include "convert/HeaderText.h"
#include "convert/MailDate.h"
#include "convert/Mime.h"

#include "platform/PathHelpers.h"
#include "platform/SourceFile.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace {

// Domains written in ACE ("xn--" labels) read as the message's writer wrote them.
QString withUnicodeDomains(QString text)
{
    static const QRegularExpression domain(QStringLiteral("@([A-Za-z0-9.-]*xn--[A-Za-z0-9.-]*)"),
                                           QRegularExpression::CaseInsensitiveOption);
    QList<QRegularExpressionMatch> matches;
    for (const QRegularExpressionMatch &match : domain.globalMatch(text))
        matches.prepend(match);
    for (const QRegularExpressionMatch &match : matches) {
        const QString unicode = QUrl::fromAce(match.captured(1).toLatin1(), QUrl::IgnoreIDNWhitelist);
        if (!unicode.isEmpty())
            text.replace(match.capturedStart(1), match.capturedLength(1), unicode);
    }
    return text;
}

// GMime reads the structure of the address list; the words are decoded beforehand, since
// GMime 3.2.13 drops base64 words that follow a padded one.
QString decodeFrom(const QByteArray &raw)
{
    if (raw.isNull())
        return {};
    if (const std::optional<QString> text = addressListText(decodeAddressWords(raw)))
        return withUnicodeDomains(text->trimmed());
    // An address GMime cannot parse still names the sender: keep its decoded text.
    return withUnicodeDomains(decodeHeaderText(raw));
}

// Dates in the RFC's shape are read here; GMime's lenient parser reads the other shapes.
QDateTime decodeDate(const QByteArray &raw)
{
    if (raw.isNull())
        return {};
    const MailDate date = parseMailDate(raw);
    if (date.recognized)
        return date.value;
    const QDateTime value = lenientMailDate(raw);
    return value.isValid() && value.date().year() >= 1900 ? value : QDateTime();
}

// Without a usable Date header: the mail client's sent date, its received date, else the file's
// modification time.
QDateTime dateWithoutHeader(SourceFile &file, const EmlxEnvelope &envelope)
{
    const PropertyListDates dates = readPropertyListDates(file, envelope);
    if (dates.sent.isValid())
        return dates.sent;
    if (dates.received.isValid())
        return dates.received;
    const FileStamp &stamp = file.stamp();
    if (stamp.known)
        return QDateTime::fromMSecsSinceEpoch(stamp.modifiedSeconds * 1000 + stamp.modifiedNanoseconds / 1000000);
    return QFileInfo(file.path()).lastModified();
}

} // namespace

bool HeaderReader::LoadMessageFile(const QString &path)
{
    const EmlxEnvelope::Result result = EmlxEnvelope::read(path);
    if (!result.envelope) {
        *this = HeaderReader();
        m_error = result.error;
        return false;
    }
    return LoadMessageFile(path, *result.envelope);
}

bool HeaderReader::LoadMessageFile(const QString &path, const EmlxEnvelope &envelope)
{
    SourceFile file(path);
    if (!file.open()) {
        *this = HeaderReader();
        m_error = file.failure();
        return false;
    }
    return LoadMessageFile(file, envelope);
}

bool HeaderReader::LoadMessageFile(SourceFile &file, const EmlxEnvelope &envelope)
{
    const QString path = file.path();
    *this = HeaderReader();

    SourceFileDevice message(file, envelope.messageOffset);
    const HeaderFields fields = readHeaderFields(message, envelope.messageLength);
    if (!fields.complete)
        m_warnings << QStringLiteral("%1: the message's headers do not end within %2 MB; the names use what was read")
                          .arg(quotedPath(path))
                          .arg(HeaderFields::scanLimit >> 20);
    m_subject = decodeHeaderText(fields.subject);
    m_from = decodeFrom(fields.from);
    m_returnPath = QString::fromUtf8(fields.returnPath).trimmed();
    m_date = decodeDate(fields.date);
    if (!m_date.isValid())
        m_date = dateWithoutHeader(file, envelope);
    return true;
}

