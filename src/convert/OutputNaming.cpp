#include "OutputNaming.h"

namespace {

const QString emlExtension = QStringLiteral(".eml");

QString datePart(const QDateTime &date, NamingScheme scheme)
{
    const QDate day = date.date();
    const QString dd = QStringLiteral("%1").arg(day.day(), 2, 10, QLatin1Char('0'));
    const QString mm = QStringLiteral("%1").arg(day.month(), 2, 10, QLatin1Char('0'));
    const QString yyyy = QStringLiteral("%1").arg(day.year(), 4, 10, QLatin1Char('0'));
    switch (scheme) {
    case NamingScheme::YmdSubjectSender:
        return yyyy + u'-' + mm + u'-' + dd;
    case NamingScheme::MdySubjectSender:
        return mm + u'-' + dd + u'-' + yyyy;
    default:
        return dd + u'-' + mm + u'-' + yyyy;
    }
}

bool isForbidden(QChar c)
{
    static const QString forbidden = QStringLiteral(":?\\/*\"<>|");
    return c.unicode() < 32 || forbidden.contains(c);
}

// Cuts `text` to at most `units` UTF-16 code units and `bytes` UTF-8 bytes without
// splitting a character.
QString cutAtCharacter(const QString &text, qsizetype units, qsizetype bytes)
{
    qsizetype end = 0;
    qsizetype usedBytes = 0;
    while (end < text.size()) {
        const bool pair = text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate();
        const qsizetype width = pair ? 2 : 1;
        const char32_t code = pair ? QChar::surrogateToUcs4(text[end], text[end + 1]) : text[end].unicode();
        const qsizetype charBytes = code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
        if (end + width > units || usedBytes + charBytes > bytes)
            break;
        end += width;
        usedBytes += charBytes;
    }
    return text.left(end);
}

QString capName(const QString &name, const QString &suffix)
{
    const QString stem = name.endsWith(emlExtension) ? name.chopped(emlExtension.size()) : name;
    const QString ending = name.endsWith(emlExtension) ? emlExtension : QString();
    const QString tail = suffix + ending;
    return cutAtCharacter(stem, outputNameLimit - tail.size(), fileNameByteLimit - tail.toUtf8().size()) + tail;
}

} // namespace

bool schemeReadsHeaders(NamingScheme scheme)
{
    return scheme != NamingScheme::Original;
}

QStringList schemeNames()
{
    return {QStringLiteral("original"),
            QStringLiteral("subject-date"),
            QStringLiteral("sender-subject-date"),
            QStringLiteral("date-sender-subject"),
            QStringLiteral("ymd-subject-sender"),
            QStringLiteral("mdy-subject-sender")};
}

std::optional<NamingScheme> schemeFromName(const QString &name)
{
    const qsizetype index = schemeNames().indexOf(name);
    if (index < 0)
        return std::nullopt;
    return NamingScheme(index);
}

QString ownOutputName(const QString &fileName)
{
    if (fileName.endsWith(QStringLiteral(".emlx"), Qt::CaseInsensitive))
        return fileName.chopped(5) + emlExtension;
    if (fileName.endsWith(emlExtension, Qt::CaseInsensitive))
        return fileName.chopped(emlExtension.size()) + emlExtension;
    return fileName + emlExtension;
}

QString ComposeOutputName(const QString &ownName, NamingScheme scheme, MessageHeaders &headers)
{
    const QChar space = u' ';
    if (scheme == NamingScheme::Original)
        return ownName;
    const QString date = datePart(headers.GetDate(), scheme);
    switch (scheme) {
    case NamingScheme::SubjectDate:
        return headers.GetSubject() + space + date + emlExtension;
    case NamingScheme::SenderSubjectDate: {
        const QString from = headers.GetFrom();
        return from + space + headers.GetSubject() + space + date + emlExtension;
    }
    case NamingScheme::DateSenderSubject: {
        const QString from = headers.GetFrom();
        return date + space + from + space + headers.GetSubject() + emlExtension;
    }
    case NamingScheme::YmdSubjectSender:
    case NamingScheme::MdySubjectSender: {
        const QString subject = headers.GetSubject();
        return date + space + subject + space + headers.GetFrom() + emlExtension;
    }
    case NamingScheme::Original:
        break;
    }
    return ownName;
}

QString CleanOutputName(const QString &name)
{
    QString cleaned;
    cleaned.reserve(name.size());
    for (QChar c : name)
        if (!isForbidden(c))
            cleaned += c;
    return capName(cleaned, {});
}

QString numberedOutputName(const QString &cleanName, int n)
{
    return capName(cleanName, QStringLiteral(" (%1)").arg(n));
}
