#include "HeaderReader.h"
#include "HeaderFields.h"
#include "HeaderText.h"
#include "MailDate.h"
#include "MimePartHeaders.h"

#include "PathHelpers.h"
#include "SourceFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>
#include <QUrl>

#include <gmime/gmime.h>

#include <memory>
#include <mutex>

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GString = std::unique_ptr<char, GFree>;

GMimeParserOptions *parserOptions()
{
    static GMimeParserOptions *options = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        g_mime_init();
        options = g_mime_parser_options_new();
        // Undeclared 8-bit header text: UTF-8 when it is valid, otherwise the usual Western charset.
        static const char *fallback[] = {"UTF-8", "windows-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(options, fallback);
        g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_address_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
    });
    return options;
}

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
    const QByteArray prepared = decodeAddressWords(raw);
    GObjectPtr<InternetAddressList> list(internet_address_list_parse(parserOptions(), prepared.constData()));
    if (list && internet_address_list_length(list.get()) > 0) {
        GString text(internet_address_list_to_string(list.get(), nullptr, FALSE));
        if (text)
            return withUnicodeDomains(QString::fromUtf8(text.get()).trimmed());
    }
    // An address GMime cannot parse still names the sender: keep its decoded text.
    return withUnicodeDomains(decodeHeaderText(raw));
}

QDateTime toQDateTime(GDateTime *date)
{
    if (!date)
        return {};
    const QDate day(g_date_time_get_year(date), g_date_time_get_month(date), g_date_time_get_day_of_month(date));
    const QTime time(g_date_time_get_hour(date), g_date_time_get_minute(date), g_date_time_get_second(date));
    const QTimeZone zone(int(g_date_time_get_utc_offset(date) / G_TIME_SPAN_SECOND));
    // The calendar date in the header's own zone is what names need; keep it even when Qt
    // has no zone for an outlandish offset.
    return zone.isValid() ? QDateTime(day, time, zone) : QDateTime(day, time, QTimeZone::utc());
}

// Dates in the RFC's shape are read here; GMime's lenient parser reads the other shapes.
QDateTime decodeDate(const QByteArray &raw)
{
    if (raw.isNull())
        return {};
    const MailDate date = parseMailDate(raw);
    if (date.recognized)
        return date.value;
    GDateTime *parsed = g_mime_utils_header_decode_date(raw.constData());
    const QDateTime value = toQDateTime(parsed);
    if (parsed)
        g_date_time_unref(parsed);
    return value.isValid() && value.date().year() >= 1900 ? value : QDateTime();
}

} // namespace

bool HeaderReader::LoadMessageFile(const QString &path)
{
    const EmlxEnvelope::Result result = EmlxEnvelope::read(path);
    if (!result.envelope) {
        *this = HeaderReader();
        m_path = path;
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
        m_path = path;
        m_error = file.failure();
        return false;
    }
    return LoadMessageFile(file, envelope);
}

bool HeaderReader::LoadMessageFile(SourceFile &file, const EmlxEnvelope &envelope)
{
    const QString path = file.path();
    *this = HeaderReader();
    m_path = path;
    m_envelope = envelope;

    SourceFileDevice message(file, envelope.messageOffset);
    const HeaderFields fields = readHeaderFields(message, envelope.messageLength);
    if (!fields.complete)
        m_warnings << QStringLiteral("%1: the message's headers do not end within %2 MB; the names use what was read")
                          .arg(QuotedPath(path))
                          .arg(HeaderFields::scanLimit >> 20);
    m_subject = decodeHeaderText(fields.subject);
    m_from = decodeFrom(fields.from);
    m_headerDate = decodeDate(fields.date);
    return true;
}

QDateTime HeaderReader::GetDate()
{
    if (m_headerDate.isValid())
        return m_headerDate;
    const PropertyListDates dates = readPropertyListDates(m_path, m_envelope);
    if (dates.sent.isValid())
        return dates.sent;
    if (dates.received.isValid())
        return dates.received;
    return QFileInfo(m_path).lastModified();
}

MimePartHeaders parseMimePartHeaders(const QByteArray &headerBlock)
{
    MimePartHeaders headers;
    QByteArray text = headerBlock;
    text.replace('\0', ' ');
    if (!text.endsWith('\n'))
        text += '\n';
    text += '\n';
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.constData(), size_t(text.size())));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GObjectPtr<GMimeObject> entity(g_mime_parser_construct_part(parser.get(), parserOptions()));
    if (!entity)
        return headers;
    headers.strippedByMailClient = g_mime_object_get_header(entity.get(), "X-Apple-Content-Length") != nullptr;
    if (GMIME_IS_MULTIPART(entity.get())) {
        const char *boundary = g_mime_multipart_get_boundary(GMIME_MULTIPART(entity.get()));
        headers.multipart = boundary != nullptr;
        headers.boundary = boundary;
    } else if (GMIME_IS_PART(entity.get())) {
        GMimePart *part = GMIME_PART(entity.get());
        headers.fileName = QString::fromUtf8(g_mime_part_get_filename(part));
        const char *encoding = g_mime_object_get_header(entity.get(), "Content-Transfer-Encoding");
        headers.transferEncoding = QByteArray(encoding).trimmed().toLower();
    }
    return headers;
}
