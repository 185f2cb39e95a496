#include "convert/HeaderText.h"

#include "convert/EncodingLabels.h"
#include "convert/Mime.h"

#include <QList>
#include <QStringDecoder>

#include <algorithm>
#include <cctype>
#include <optional>

namespace {

// The bytes 0x80 to 0x9F in windows-1252; the five it leaves open stay C1 controls.
constexpr char16_t windows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QChar windows1252(uchar byte)
{
    return byte >= 0x80 && byte < 0xA0 ? QChar(windows1252High[byte - 0x80]) : QChar(byte);
}

QString decodeWindows1252(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        text[i] = windows1252(uchar(bytes[i]));
    return text;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The length of the valid UTF-8 sequence at `i` and its code point; 0 when there is none.
int utf8SequenceAt(const QByteArray &bytes, qsizetype i, char32_t *code)
{
    const uchar lead = uchar(bytes[i]);
    int length = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, smallest = 0x80, *code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, smallest = 0x800, *code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, smallest = 0x10000, *code = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        const uchar next = uchar(bytes[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        *code = (*code << 6) | (next & 0x3F);
    }
    const bool surrogate = *code >= 0xD800 && *code <= 0xDFFF;
    return *code >= smallest && *code <= 0x10FFFF && !surrogate ? length : 0;
}

// Base64 that tolerates what mailers write: padding inside the text ends a group of four and
// the next group starts afresh; characters outside the alphabet are passed over.
QByteArray decodeBase64Loosely(const QByteArray &text)
{
    QByteArray out;
    uint bits = 0;
    int count = 0;
    for (char c : text) {
        int value = -1;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        if (c == '=') {
            bits = 0, count = 0;
            continue;
        }
        if (value < 0)
            continue;
        bits = (bits << 6) | uint(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += char((bits >> count) & 0xFF);
        }
    }
    return out;
}

QByteArray decodeQ(const QByteArray &text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size() && isxdigit(uchar(text[i + 1])) && isxdigit(uchar(text[i + 2]))) {
            out += char(QByteArray::fromHex(text.mid(i + 1, 2)).at(0));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

struct EncodedWord {
    qsizetype end = 0;
    QByteArray charset; // lower case, without an RFC 2231 language
    QByteArray bytes;
};

// The next place of a needle at or after a position that only grows: each byte of a header is
// searched once, however many "=?" it holds.
class ForwardSearch
{
public:
    ForwardSearch(const QByteArray &haystack, QByteArrayView needle) : m_haystack(haystack), m_needle(needle) {}
    // -1 when there is none.
    qsizetype from(qsizetype position)
    {
        if (m_at != -1 && m_at < position)
            m_at = m_haystack.indexOf(m_needle, position);
        return m_at;
    }

private:
    const QByteArray &m_haystack;
    QByteArrayView m_needle;
    qsizetype m_at = -2;
};

// The encoded-word "=?charset?B|Q?text?=" that starts at `pos`, if one does. Mailers write
// blanks inside the text, so only the charset must be without them.
std::optional<EncodedWord> encodedWordAt(const QByteArray &value, qsizetype pos, ForwardSearch &closing)
{
    constexpr qsizetype charsetLimit = 80;
    const qsizetype question = value.indexOf('?', pos + 2);
    if (question <= pos + 2 || question - pos > charsetLimit || question + 2 >= value.size() ||
        value[question + 2] != '?')
        return std::nullopt;
    const char encoding = char(toupper(uchar(value[question + 1])));
    const qsizetype textStart = question + 3;
    const qsizetype textEnd = closing.from(textStart);
    QByteArray charset = value.mid(pos + 2, question - pos - 2).toLower();
    if ((encoding != 'B' && encoding != 'Q') || textEnd < 0 || charset.contains(' ') || charset.contains('\t'))
        return std::nullopt;
    if (const qsizetype star = charset.indexOf('*'); star >= 0)
        charset.truncate(star);
    const QByteArray text = value.mid(textStart, textEnd - textStart);
    return EncodedWord{textEnd + 2, charset, encoding == 'B' ? decodeBase64Loosely(text) : decodeQ(text)};
}

// Text in the encoding its label names, as the WHATWG Encoding Standard reads labels; a label
// it does not list is given to Qt as it is. UTF-8 is read leniently: a stray byte as windows-1252.
QString decodeCharset(const QByteArray &bytes, const QByteArray &charset)
{
    const std::optional<LabelledEncoding> encoding = encodingOfLabel(charset);
    if (encoding && encoding->name == "windows-1252")
        return decodeWindows1252(bytes);
    if (encoding && encoding->name == "UTF-8")
        return decodeUtf8OrWindows1252(bytes);
    const QByteArray name = encoding ? encoding->decoder : charset;
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid()) {
        const QString converted = decodeWithIconv(bytes, name);
        return converted.isNull() ? decodeUtf8OrWindows1252(bytes) : converted;
    }
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        text.remove(QChar::ReplacementCharacter);
    return text;
}

// A header value as plain byte runs and decoded runs of encoded-words. Neighbouring words are
// one run when only blanks part them; words of one charset are decoded together, since a
// character may be split across them.
struct Segment {
    bool decoded = false;
    QByteArray plain;
    QString text;
};

QList<Segment> splitEncodedWords(const QByteArray &value)
{
    QList<Segment> segments;
    QByteArray pendingBytes, pendingCharset;
    auto flushWords = [&] {
        if (pendingBytes.isEmpty() && pendingCharset.isEmpty())
            return;
        if (segments.isEmpty() || !segments.back().decoded)
            segments.append(Segment{true, {}, {}});
        // A NUL that an encoded-word carries reads as a space, as one in the raw header does.
        segments.back().text += decodeCharset(pendingBytes, pendingCharset).replace(QChar(0), u' ');
        pendingBytes.clear();
        pendingCharset.clear();
    };
    ForwardSearch closing(value, "?=");
    qsizetype plainStart = 0;
    bool afterWord = false;
    for (qsizetype pos = value.indexOf("=?"); plainStart <= value.size();) {
        std::optional<EncodedWord> word;
        while (pos >= 0 && !(word = encodedWordAt(value, pos, closing)))
            pos = value.indexOf("=?", pos + 1);
        const qsizetype plainEnd = word ? pos : value.size();
        const QByteArray plain = value.mid(plainStart, plainEnd - plainStart);
        const bool onlyBlanks = std::all_of(plain.begin(), plain.end(), isBlank);
        if (!(word && afterWord && onlyBlanks)) {
            flushWords();
            if (!plain.isEmpty())
                segments.append(Segment{false, plain, {}});
        }
        if (!word)
            break;
        if (word->charset != pendingCharset)
            flushWords();
        pendingCharset = word->charset;
        pendingBytes += word->bytes;
        afterWord = true;
        plainStart = word->end;
        pos = value.indexOf("=?", plainStart);
    }
    flushWords();
    return segments;
}

} // namespace

QString decodeUtf8OrWindows1252(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const uchar byte = uchar(bytes[i]);
        char32_t code = 0;
        if (byte < 0x80) {
            text += QChar(byte);
            ++i;
        } else if (const int length = utf8SequenceAt(bytes, i, &code)) {
            text += QStringView(QChar::fromUcs4(code));
            i += length;
        } else {
            text += windows1252(byte);
            ++i;
        }
    }
    return text;
}

QString decodeHeaderText(const QByteArray &value)
{
    QString text;
    for (const Segment &segment : splitEncodedWords(value))
        text += segment.decoded ? segment.text : decodeUtf8OrWindows1252(segment.plain);
    return text.trimmed();
}

QByteArray decodeAddressWords(const QByteArray &value)
{
    QByteArray out;
    bool quoted = false;
    for (const Segment &segment : splitEncodedWords(value)) {
        if (!segment.decoded) {
            const QByteArray plain = decodeUtf8OrWindows1252(segment.plain).toUtf8();
            for (qsizetype i = 0; i < plain.size(); ++i) {
                if (plain[i] == '\\' && quoted && i + 1 < plain.size())
                    out += plain[i++];
                else if (plain[i] == '"')
                    quoted = !quoted;
                out += plain[i];
            }
            continue;
        }
        QByteArray text = segment.text.toUtf8();
        text.replace('\\', "\\\\").replace('"', "\\\"");
        out += quoted ? text : '"' + text + '"';
    }
    return out;
}
