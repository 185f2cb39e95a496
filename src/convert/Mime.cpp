#include "convert/Mime.h"

#include <QIODevice>
#include <QTimeZone>

#include <gmime/gmime.h>

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};
using GText = std::unique_ptr<char, GFree>;

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

std::optional<QString> addressListText(const QByteArray &decodedList)
{
    GObjectPtr<InternetAddressList> list(internet_address_list_parse(parserOptions(), decodedList.constData()));
    if (!list || internet_address_list_length(list.get()) == 0)
        return std::nullopt;
    GText text(internet_address_list_to_string(list.get(), nullptr, FALSE));
    if (!text)
        return std::nullopt;
    return QString::fromUtf8(text.get());
}

// Some iconv builds (the one Windows programs carry among them) know the East Asian and Thai
// encodings only by their Windows code page; GBK text is also read by code page 936 where
// code page 54936 (GB 18030) is missing.
static QList<QByteArray> codePageNames(const QByteArray &charset)
{
    static const std::pair<const char *, QList<QByteArray>> codePages[] = {
        {"gbk", {"CP936"}},         {"gb18030", {"CP54936", "CP936"}}, {"big5", {"CP950"}},
        {"big5-hkscs", {"CP950"}},  {"shift_jis", {"CP932"}},          {"windows-31j", {"CP932"}},
        {"euc-kr", {"CP949"}},      {"windows-949", {"CP949"}},        {"windows-874", {"CP874"}},
    };
    for (const auto &[name, names] : codePages)
        if (charset.compare(name, Qt::CaseInsensitive) == 0)
            return names;
    return {};
}

static QString convertToUtf8(const QByteArray &bytes, const QByteArray &charset)
{
    const iconv_t converter = g_mime_iconv_open("UTF-8", charset.constData());
    if (converter == iconv_t(-1))
        return {};
    const GText text(g_mime_iconv_strndup(converter, bytes.constData(), size_t(bytes.size())));
    g_mime_iconv_close(converter);
    return text ? QString::fromUtf8(text.get()) : QString();
}

QString decodeWithIconv(const QByteArray &bytes, const QByteArray &charset)
{
    parserOptions(); // GMime set up
    QString text = convertToUtf8(bytes, charset);
    for (const QByteArray &codePage : codePageNames(charset)) {
        if (!text.isNull())
            break;
        text = convertToUtf8(bytes, codePage);
    }
    return text;
}

QDateTime lenientMailDate(const QByteArray &raw)
{
    parserOptions(); // runs g_mime_init once
    GDateTime *parsed = g_mime_utils_header_decode_date(raw.constData());
    const QDateTime value = toQDateTime(parsed);
    if (parsed)
        g_date_time_unref(parsed);
    return value;
}

MimePartHeaders parseMimePartHeaders(const QByteArray &headerBlock)
{
    MimePartHeaders headers;
    QByteArray text = headerBlock;
    text.replace('\0', ' ');
    if (!text.endsWith('\n'))
        text += '\n';
    text += '\n';
    // GMime is set up first: its types, made on first use, must not be made by two threads at once.
    GMimeParserOptions *options = parserOptions();
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.constData(), size_t(text.size())));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GObjectPtr<GMimeObject> entity(g_mime_parser_construct_part(parser.get(), options));
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

namespace {

constexpr qint64 contentChunk = 57 * 1024; // whole base64 lines

// Turns a part's content, given in chunks, into its body.
class BodyEncoder
{
public:
    explicit BodyEncoder(const EncodedBytesSink &write) : m_write(write) {}
    virtual ~BodyEncoder() = default;
    // False once the sink takes no more.
    virtual bool add(QByteArray chunk) = 0;
    virtual void finish() = 0;

protected:
    bool send(const QByteArray &bytes)
    {
        if (m_open && !bytes.isEmpty())
            m_open = m_write(bytes);
        return m_open;
    }

private:
    const EncodedBytesSink &m_write;
    bool m_open = true;
};

// Decoded content is followed by the line end that belongs to the next delimiter; content that
// is encoded already gets one only when it lacks it.
class RawBody : public BodyEncoder
{
public:
    RawBody(const QByteArray &lineEnd, bool alreadyEncoded, const EncodedBytesSink &write)
        : BodyEncoder(write), m_eol(lineEnd), m_alreadyEncoded(alreadyEncoded)
    {}
    bool add(QByteArray chunk) override
    {
        m_endsWithLineEnd = chunk.endsWith('\n');
        return send(chunk);
    }
    void finish() override
    {
        if (!m_alreadyEncoded || !m_endsWithLineEnd)
            send(m_eol);
    }

private:
    const QByteArray m_eol;
    const bool m_alreadyEncoded;
    bool m_endsWithLineEnd = false;
};

// GMime's filters in a chain: the encoder, then LF to CRLF when the message's lines end so.
class FilteredBody : public BodyEncoder
{
public:
    FilteredBody(GMimeContentEncoding encoding, const QByteArray &lineEnd, const EncodedBytesSink &write)
        : BodyEncoder(write)
    {
        m_filters.emplace_back(g_mime_filter_basic_new(encoding, TRUE));
        if (lineEnd == "\r\n")
            m_filters.emplace_back(g_mime_filter_unix2dos_new(FALSE));
    }
    bool add(QByteArray chunk) override { return pass(chunk, g_mime_filter_filter); }
    void finish() override
    {
        QByteArray nothing;
        pass(nothing, g_mime_filter_complete);
    }

private:
    using Step = void (*)(GMimeFilter *, char *, size_t, size_t, char **, size_t *, size_t *);
    bool pass(QByteArray &chunk, Step step)
    {
        char none = 0;
        char *data = chunk.isEmpty() ? &none : chunk.data();
        size_t length = size_t(chunk.size());
        size_t prespace = 0;
        for (const GObjectPtr<GMimeFilter> &filter : m_filters) // each one's output is the next one's input
            step(filter.get(), data, length, prespace, &data, &length, &prespace);
        return send(QByteArray(data, qsizetype(length)));
    }
    std::vector<GObjectPtr<GMimeFilter>> m_filters;
};

// Written by hand, since GMime's encoder gives other bytes: it lets a line run past 76 when it
// writes out a held CR, and ends a body whose last byte is a blank or a CR with a soft break.
class QuotedPrintableBody : public BodyEncoder
{
public:
    QuotedPrintableBody(const QByteArray &lineEnd, const EncodedBytesSink &write) : BodyEncoder(write), m_eol(lineEnd)
    {}
    bool add(QByteArray chunk) override
    {
        for (char c : std::as_const(chunk))
            put(uchar(c));
        return send(std::exchange(m_ready, {}));
    }
    void finish() override
    {
        if (m_pendingCr)
            encodeHeldCr();
        hardBreak(); // the line end the part's delimiter needs; a blank before it is encoded
        send(std::exchange(m_ready, {}));
    }

private:
    void put(uchar c)
    {
        if (m_pendingCr) {
            if (c == '\n') {
                m_pendingCr = false;
                hardBreak();
                return;
            }
            encodeHeldCr();
        }
        if (c == '\r') {
            m_pendingCr = true;
        } else if (c == '\n') {
            hardBreak();
        } else if (c == ' ' || c == '\t') {
            flushWhitespace();
            m_whitespace = char(c);
        } else if (c >= 33 && c <= 126 && c != '=') {
            flushWhitespace();
            appendLiteral(char(c));
        } else {
            flushWhitespace();
            appendEncoded(c);
        }
    }
    // A CR that no LF follows is data: it comes after the blank held before it, never ahead of it.
    void encodeHeldCr()
    {
        m_pendingCr = false;
        flushWhitespace();
        appendEncoded('\r');
    }
    // Whitespace is written literally unless it ends a line, where it must be encoded.
    void flushWhitespace()
    {
        if (m_whitespace)
            appendLiteral(m_whitespace);
        m_whitespace = 0;
    }
    void hardBreak()
    {
        if (m_whitespace)
            appendEncoded(uchar(m_whitespace));
        m_whitespace = 0;
        m_ready += m_line + m_eol;
        m_line.resize(0);
    }
    void appendLiteral(char c) { append(&c, 1); }
    void appendEncoded(uchar c)
    {
        static constexpr char hex[] = "0123456789ABCDEF";
        const char code[] = {'=', hex[c >> 4], hex[c & 15]};
        append(code, 3);
    }
    void append(const char *text, qsizetype size)
    {
        if (m_line.size() + size > 75) { // soft break
            m_ready += m_line + '=' + m_eol;
            m_line.resize(0);
        }
        m_line.append(text, size);
    }
    const QByteArray m_eol;
    QByteArray m_line;  // the line being filled
    QByteArray m_ready; // finished lines not yet sent
    char m_whitespace = 0;
    bool m_pendingCr = false;
};

std::unique_ptr<BodyEncoder> bodyEncoderFor(const QByteArray &transferEncoding, bool alreadyEncoded,
                                            const QByteArray &lineEnd, const EncodedBytesSink &write)
{
    if (!alreadyEncoded && transferEncoding == "base64")
        return std::make_unique<FilteredBody>(GMIME_CONTENT_ENCODING_BASE64, lineEnd, write);
    if (!alreadyEncoded && transferEncoding == "quoted-printable")
        return std::make_unique<QuotedPrintableBody>(lineEnd, write);
    return std::make_unique<RawBody>(lineEnd, alreadyEncoded, write);
}

} // namespace

void writeEncodedBody(QIODevice &content, const QByteArray &transferEncoding, bool alreadyEncoded,
                      const QByteArray &lineEnd, const EncodedBytesSink &write)
{
    parserOptions(); // runs g_mime_init once
    const std::unique_ptr<BodyEncoder> encoder = bodyEncoderFor(transferEncoding, alreadyEncoded, lineEnd, write);
    for (;;) {
        const QByteArray chunk = content.read(contentChunk);
        if (chunk.isEmpty() || !encoder->add(chunk))
            break;
    }
    encoder->finish();
}
