#include "HeaderReader.h"
#include "MimePartHeaders.h"

#include "PathHelpers.h"
#include "RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <gmime/gmime.h>

#include <memory>
#include <mutex>

namespace {

constexpr qint64 headerBlockLimit = 8 << 20;

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

// The bytes up to the first empty line, read in growing steps so the body stays unread.
QByteArray readHeaderBlock(QFile &file, const EmlxEnvelope &envelope, bool *complete)
{
    *complete = false;
    if (!file.seek(envelope.messageOffset))
        return {};
    const qint64 limit = qMin(envelope.messageLength, headerBlockLimit);
    QByteArray block;
    qint64 step = 16 << 10;
    while (block.size() < limit) {
        const QByteArray more = file.read(qMin(step, limit - block.size()));
        if (more.isEmpty())
            break;
        const qsizetype searchFrom = qMax<qsizetype>(0, block.size() - 3);
        block += more;
        if (block.startsWith('\n') || block.startsWith("\r\n")) {
            *complete = true;
            return {};
        }
        const qsizetype lf = block.indexOf("\n\n", searchFrom);
        const qsizetype crlf = block.indexOf("\n\r\n", searchFrom);
        const qsizetype end = lf < 0 ? crlf : (crlf < 0 ? lf : qMin(lf, crlf));
        if (end >= 0) {
            *complete = true;
            block.truncate(end + 1);
            return block;
        }
        step *= 4;
    }
    *complete = block.size() >= envelope.messageLength;
    return block;
}

QByteArray prepareForParser(QByteArray block)
{
    // An mbox separator line is no header; a NUL would end every header value early.
    if (block.startsWith("From ")) {
        const qsizetype lineEnd = block.indexOf('\n');
        block.remove(0, lineEnd < 0 ? block.size() : lineEnd + 1);
    }
    block.replace('\0', ' ');
    if (!block.endsWith('\n'))
        block += '\n';
    block += '\n';
    return block;
}

QString fromUtf8Trimmed(const char *text)
{
    return text ? QString::fromUtf8(text).trimmed() : QString();
}

QString decodeFrom(GMimeMessage *message)
{
    InternetAddressList *list = g_mime_message_get_from(message);
    if (list && internet_address_list_length(list) > 0) {
        GString text(internet_address_list_to_string(list, nullptr, FALSE));
        return fromUtf8Trimmed(text.get());
    }
    // An address GMime cannot parse still names the sender: keep its decoded text.
    const char *raw = g_mime_object_get_header(GMIME_OBJECT(message), "From");
    if (!raw)
        return {};
    GString unfolded(g_mime_utils_header_unfold(raw));
    GString decoded(g_mime_utils_header_decode_text(parserOptions(), unfolded.get()));
    return fromUtf8Trimmed(decoded.get());
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
    *this = HeaderReader();
    m_path = path;
    m_envelope = envelope;

    RegularFile file(path);
    if (!file.openForReading()) {
        m_error = file.failure();
        return false;
    }
    bool complete = false;
    const QByteArray block = readHeaderBlock(file, envelope, &complete);
    if (!complete)
        m_warnings << QStringLiteral("%1: the message's headers do not end within %2 MB; the names use what was read")
                          .arg(QuotedPath(path))
                          .arg(headerBlockLimit >> 20);
    if (block.isEmpty())
        return true;

    const QByteArray text = prepareForParser(block);
    GMimeParserOptions *options = parserOptions();
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.constData(), size_t(text.size())));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), options));
    if (!message) {
        m_warnings << QStringLiteral("%1: the message's headers could not be read").arg(QuotedPath(path));
        return true;
    }
    m_subject = fromUtf8Trimmed(g_mime_message_get_subject(message.get()));
    m_from = decodeFrom(message.get());
    m_headerDate = toQDateTime(g_mime_message_get_date(message.get()));
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
