#include "convert/OutputNaming.h"
#include "convert/NamedRows.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>

namespace {

const QString emlExtension = QStringLiteral(".eml");

// The day in the scheme's date format.
QString datePart(QDate day, QLatin1StringView format)
{
    const QString dd = QStringLiteral("%1").arg(day.day(), 2, 10, QLatin1Char('0'));
    const QString mm = QStringLiteral("%1").arg(day.month(), 2, 10, QLatin1Char('0'));
    const QString yyyy = QStringLiteral("%1").arg(day.year(), 4, 10, QLatin1Char('0'));
    return QString(format)
        .replace(QLatin1StringView("yyyy"), yyyy)
        .replace(QLatin1StringView("mm"), mm)
        .replace(QLatin1StringView("dd"), dd);
}

bool isForbidden(QChar c)
{
    static const QString forbidden = QStringLiteral(":?\\/*\"<>|");
    const char16_t code = c.unicode();
    // Controls, DEL and C1 controls; the bidirectional controls, which make a file manager
    // show the rest of a name (".eml" included) reversed; the zero-width characters, which make
    // two names that look alike differ.
    const bool control = code < 32 || (code >= 127 && code < 0xA0);
    const bool bidi = code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
                      (code >= 0x2066 && code <= 0x2069);
    const bool zeroWidth = (code >= 0x200B && code <= 0x200D) || code == 0x2060 || code == 0xFEFF;
    return control || bidi || zeroWidth || forbidden.contains(c);
}

QString withoutForbidden(const QString &text)
{
    QString cleaned;
    cleaned.reserve(text.size());
    for (QChar c : text)
        if (!isForbidden(c))
            cleaned += c;
    return cleaned;
}

qsizetype utf8Size(QStringView text)
{
    return text.toUtf8().size();
}

// Cuts `text` to at most `units` UTF-16 code units and `bytes` UTF-8 bytes without
// splitting a character (a letter and its marks, an emoji sequence).
QString cutAtCharacter(const QString &text, qsizetype units, qsizetype bytes)
{
    if (text.size() <= units && utf8Size(text) <= bytes)
        return text;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    qsizetype usedBytes = 0;
    for (qsizetype next = characters.toNextBoundary(); next > 0; next = characters.toNextBoundary()) {
        const qsizetype more = utf8Size(QStringView(text).sliced(end, next - end));
        if (next > units || usedBytes + more > bytes)
            break;
        end = next;
        usedBytes += more;
    }
    return text.left(end);
}

QString withoutTrailingBlanks(QString text)
{
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

// A date that ends a name, in the format of any scheme that puts the date last.
QRegularExpression trailingDatePattern()
{
    QStringList formats;
    for (const NamingSchemeRow &row : namingSchemes) {
        const QList<NameField> fields = schemeFields(row.scheme);
        const QString format = QRegularExpression::escape(row.dateFormat)
                                   .replace(QLatin1StringView("yyyy"), QLatin1StringView("\\d\\d\\d\\d"))
                                   .replace(QLatin1StringView("mm"), QLatin1StringView("\\d\\d"))
                                   .replace(QLatin1StringView("dd"), QLatin1StringView("\\d\\d"));
        if (!fields.isEmpty() && fields.constLast() == NameField::Date && !formats.contains(format))
            formats.append(format);
    }
    if (formats.isEmpty())
        return QRegularExpression(QStringLiteral("(?!)")); // matches nothing
    return QRegularExpression(QStringLiteral(" (?:%1)$").arg(formats.join(u'|')));
}

// The date at the end of a name made under a scheme that puts it last.
QString trailingDate(const QString &stem)
{
    static const QRegularExpression date = trailingDatePattern();
    return date.match(stem).captured();
}

QString capName(const QString &name, const QString &suffix, bool keepDate)
{
    QString stem = name.endsWith(emlExtension) ? name.chopped(emlExtension.size()) : name;
    const QString ending = name.endsWith(emlExtension) ? emlExtension : QString();
    const QString date = keepDate ? trailingDate(stem) : QString();
    stem.chop(date.size());
    const QString tail = date + suffix + ending;
    const QString kept = cutAtCharacter(stem, outputNameLimit - tail.size(), fileNameByteLimit - utf8Size(tail));
    return (kept.size() < stem.size() && !date.isEmpty() ? withoutTrailingBlanks(kept) : kept) + tail;
}

// Whether CleanOutputName would give the name back as it is: printable ASCII without a forbidden
// character, within the limits, ending in neither a dot nor a blank, and no device name (names
// whose part before the first dot has three or four characters are looked at the long way). Most
// own names ("1234.eml") are such names.
bool isCleanAlready(const QString &name)
{
    if (name.isEmpty() || name.size() > outputNameLimit || name.back() == u'.' || name.back() == u' ')
        return false;
    for (QChar c : name)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E || isForbidden(c))
            return false;
    qsizetype base = name.indexOf(u'.');
    if (base < 0)
        base = name.size();
    while (base > 0 && name[base - 1] == u' ')
        --base;
    return base != 3 && base != 4;
}

// A name from headers starts with none of the dots that hide a file, the dashes that a shell
// reads as an option, or blanks: they go from the start of the first parts, and a first part
// left empty goes with its separating blank. A date that comes first has none of them.
void trimNameStart(QStringList &parts, qsizetype &datePosition)
{
    while (!parts.isEmpty() && datePosition != 0) {
        QString &first = parts.first();
        qsizetype end = 0;
        while (end < first.size() && (first[end] == u'.' || first[end] == u'-' || first[end].isSpace()))
            ++end;
        first.remove(0, end);
        if (!first.isEmpty())
            return;
        parts.removeFirst();
        --datePosition;
    }
}

// Joins the parts with one space and ".eml". Header text is cleaned, loses what a name may not
// start with, and gives way to the caps from the end of the last field, then the one before;
// the date part never does.
QString fittedName(QStringList parts, qsizetype datePosition)
{
    for (qsizetype i = 0; i < parts.size(); ++i)
        if (i != datePosition)
            parts[i] = withoutForbidden(parts[i]);
    trimNameStart(parts, datePosition);
    if (!parts.isEmpty() && notReservedName(parts.join(u' ') + emlExtension).startsWith(u'_') &&
        !parts[0].startsWith(u'_'))
        parts[0].prepend(u'_'); // before the caps, which it counts against
    auto units = [&] { return parts.join(u' ').size() + emlExtension.size(); };
    auto bytes = [&] { return utf8Size(parts.join(u' ')) + emlExtension.size(); };
    for (qsizetype i = parts.size() - 1; i >= 0 && (units() > outputNameLimit || bytes() > fileNameByteLimit); --i) {
        if (i == datePosition)
            continue;
        const qsizetype otherUnits = units() - parts[i].size();
        const qsizetype otherBytes = bytes() - utf8Size(parts[i]);
        parts[i] = withoutTrailingBlanks(cutAtCharacter(parts[i], qMax<qsizetype>(0, outputNameLimit - otherUnits),
                                                        qMax<qsizetype>(0, fileNameByteLimit - otherBytes)));
    }
    return parts.join(u' ') + emlExtension;
}

} // namespace

const NamingSchemeRow &schemeRow(NamingScheme scheme)
{
    return namingSchemes[std::size_t(scheme)];
}

QList<NameField> schemeFields(NamingScheme scheme)
{
    QList<NameField> fields;
    for (NameField field : schemeRow(scheme).fields)
        if (field != NameField::None)
            fields.append(field);
    return fields;
}

bool schemeReadsHeaders(NamingScheme scheme)
{
    return !schemeFields(scheme).isEmpty();
}

QStringList schemeNames()
{
    return rowNames(namingSchemes);
}

std::optional<NamingScheme> schemeFromName(const QString &name)
{
    const NamingSchemeRow *row = rowNamed(namingSchemes, name);
    return row ? std::optional(row->scheme) : std::nullopt;
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
    const QList<NameField> fields = schemeFields(scheme);
    if (fields.isEmpty())
        return ownName;
    // The date is asked for first, the other fields in the name's order.
    const qsizetype datePosition = fields.indexOf(NameField::Date);
    const QString date =
        datePosition < 0 ? QString() : datePart(headers.GetDate().date(), schemeRow(scheme).dateFormat);
    QStringList parts;
    for (NameField field : fields)
        parts.append(field == NameField::Date      ? date
                     : field == NameField::Subject ? headers.GetSubject()
                                                   : headers.GetFrom());
    return fittedName(parts, datePosition);
}

QString CleanOutputName(const QString &name)
{
    if (isCleanAlready(name))
        return name;
    return capName(notReservedName(withoutForbidden(name)), {}, false);
}

QString notReservedName(QString name)
{
    for (qsizetype i = name.size() - 1; i >= 0 && (name[i] == u'.' || name[i] == u' '); --i)
        name[i] = u'_';
    QString base = name.left(name.indexOf(u'.')).toUpper();
    while (base.endsWith(u' '))
        base.chop(1);
    static const QStringList devices{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                     QStringLiteral("NUL")};
    const bool numbered = base.size() == 4 && (base.startsWith(QStringLiteral("COM")) ||
                                               base.startsWith(QStringLiteral("LPT"))) &&
                          base[3] >= u'1' && base[3] <= u'9';
    return devices.contains(base) || numbered ? u'_' + name : name;
}

QString numberedOutputName(const QString &cleanName, int n)
{
    return capName(cleanName, QStringLiteral(" (%1)").arg(n), true);
}
