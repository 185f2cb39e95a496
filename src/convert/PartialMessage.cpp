#include "convert/PartialMessage.h"

#include "convert/AttachmentStore.h"
#include "convert/Mime.h"
#include "platform/PathHelpers.h"
#include "platform/RegularFile.h"

#include <optional>

namespace {

constexpr qsizetype chunkLimit = 64 << 10; // longer lines are passed through in pieces
constexpr qsizetype headerLimit = 1 << 20; // a part's header block beyond this is copied as it is

// Reads a byte range line by line; a line longer than chunkLimit comes in pieces.
class LineReader
{
public:
    LineReader(QIODevice &in, qint64 length) : m_in(in), m_left(length) {}
    // The next piece; `wholeLine` says whether it is a complete line that started at a line start.
    std::optional<QByteArray> next(bool *wholeLine)
    {
        if (m_left <= 0)
            return std::nullopt;
        QByteArray piece = m_in.readLine(qMin<qint64>(m_left, chunkLimit) + 1);
        if (piece.isEmpty()) {
            m_left = 0;
            return std::nullopt;
        }
        m_left -= piece.size();
        const bool endsLine = piece.endsWith('\n') || m_left <= 0;
        *wholeLine = m_atLineStart && endsLine;
        m_atLineStart = endsLine;
        return piece;
    }

private:
    QIODevice &m_in;
    qint64 m_left;
    bool m_atLineStart = true;
};

QByteArray withoutLineEnd(const QByteArray &line)
{
    qsizetype end = line.size();
    while (end > 0 && (line[end - 1] == '\n' || line[end - 1] == '\r'))
        --end;
    return line.left(end);
}

bool isBlank(const QByteArray &line)
{
    return line.trimmed().isEmpty();
}

// Drops the X-Apple-Content-Length header (with any continuation lines) from a header block.
QByteArray withoutContentLengthHeader(const QByteArray &block)
{
    QByteArray result;
    bool skipping = false;
    qsizetype start = 0;
    while (start < block.size()) {
        qsizetype end = block.indexOf('\n', start);
        end = end < 0 ? block.size() : end + 1;
        const QByteArray line = block.mid(start, end - start);
        const bool continuation = line.startsWith(' ') || line.startsWith('\t');
        if (!continuation)
            skipping = line.toLower().startsWith("x-apple-content-length:");
        if (!skipping)
            result += line;
        start = end;
    }
    return result;
}

// Where the reassembled message goes. Collects small writes into large ones (which also lets
// a failing disk report its own reason) and remembers the first failure; nothing is written
// after it.
class Output
{
public:
    Output(QIODevice &device, const std::function<bool()> &keepGoing) : m_device(device), m_keepGoing(keepGoing) {}
    void write(const QByteArray &bytes)
    {
        m_pending += bytes;
        if (m_pending.size() >= flushSize)
            flush();
    }
    void flush()
    {
        if (m_error.isEmpty() && m_keepGoing && !m_keepGoing())
            m_error = QStringLiteral("stopped before the message was complete");
        if (m_error.isEmpty() && !writeAll(m_device, m_pending.constData(), m_pending.size()))
            m_error = m_device.errorString();
        m_pending.clear();
    }
    const QString &error() const { return m_error; }

private:
    static constexpr qsizetype flushSize = 256 << 10;
    QIODevice &m_device;
    const std::function<bool()> &m_keepGoing;
    QByteArray m_pending;
    QString m_error;
};

struct Multipart {
    QByteArray boundary;
    QString section;
    int children = 0;
};

QString childSection(const QString &parent, int number)
{
    return parent.isEmpty() ? QString::number(number) : parent + u'.' + QString::number(number);
}

// Walks the message's MIME structure line by line, copying it to `out` and filling in the
// stripped parts on the way.
class Reassembler
{
public:
    Reassembler(const QString &path, QIODevice &in, qint64 length, QIODevice &out,
                const std::function<bool()> &keepGoing)
        : m_path(path), m_lines(in, length), m_out(out, keepGoing)
    {}

    ReassemblyResult run()
    {
        // Inserted content takes the line ends of the message's first line.
        const std::optional<Pending> first = nextLine();
        if (first && first->text.endsWith("\r\n"))
            m_lineEnd = "\r\n";
        // The message itself: its body is section 1 unless it is a multipart.
        readEntity(QString(), true, first);
        m_out.flush();
        if (m_result.ok && !m_out.error().isEmpty()) {
            m_result.ok = false;
            m_result.error = m_out.error();
        }
        return m_result;
    }

private:
    struct Pending {
        QByteArray text;
        bool whole;
    };

    std::optional<Pending> nextLine()
    {
        if (!m_out.error().isEmpty())
            return std::nullopt; // the output failed: reading on would be wasted
        bool whole = false;
        std::optional<QByteArray> line = m_lines.next(&whole);
        if (!line)
            return std::nullopt;
        return Pending{*line, whole};
    }

    void write(const QByteArray &bytes) { m_out.write(bytes); }

    // Which enclosing multipart a line delimits: its index in m_stack, and whether it closes it.
    std::optional<std::pair<qsizetype, bool>> delimiter(const Pending &line) const
    {
        if (!line.whole || !line.text.startsWith("--"))
            return std::nullopt;
        const QByteArray text = withoutLineEnd(line.text);
        for (qsizetype i = m_stack.size() - 1; i >= 0; --i) {
            const QByteArray open = "--" + m_stack[i].boundary;
            if (!text.startsWith(open))
                continue;
            const QByteArray rest = text.mid(open.size());
            if (isBlank(rest))
                return std::make_pair(i, false);
            if (rest.startsWith("--") && isBlank(rest.mid(2)))
                return std::make_pair(i, true);
        }
        return std::nullopt;
    }

    // Reads one entity from its header block on; `first` is its first line when already read.
    // Returns the delimiter line that ended it (not yet written), if any.
    std::optional<Pending> readEntity(const QString &section, bool topLevel, std::optional<Pending> first)
    {
        QByteArray block;
        std::optional<Pending> line = first ? first : nextLine();
        while (line && !(line->whole && withoutLineEnd(line->text).isEmpty())) {
            if (delimiter(*line)) { // a part that ends within its headers
                write(block);
                return line;
            }
            block += line->text;
            if (block.size() > headerLimit) {
                write(block);
                return copyUntilDelimiter(nextLine());
            }
            line = nextLine();
        }
        if (!line) {
            write(block);
            return line;
        }
        const QByteArray blankLine = line->text;
        const MimePartHeaders headers = parseMimePartHeaders(block);
        if (headers.multipart && !headers.boundary.isEmpty()) {
            write(block + blankLine);
            return readMultipart(topLevel ? QString() : section, headers.boundary);
        }
        const QString ownSection = topLevel ? QStringLiteral("1") : section;
        if (headers.strippedByMailClient)
            return fillStrippedPart(block, blankLine, ownSection, headers);
        write(block + blankLine);
        return copyUntilDelimiter(nextLine());
    }

    std::optional<Pending> readMultipart(const QString &section, const QByteArray &boundary)
    {
        m_stack.append({boundary, section, 0});
        const qsizetype level = m_stack.size() - 1;
        std::optional<Pending> line = copyUntilDelimiter(nextLine()); // the preamble
        while (line) {
            const auto found = delimiter(*line);
            if (!found || found->first != level)
                break; // an outer multipart's delimiter: this one ended unclosed
            write(line->text);
            if (found->second) { // closed: the epilogue runs to the next outer delimiter
                m_stack.removeLast();
                return copyUntilDelimiter(nextLine());
            }
            Multipart &multipart = m_stack[level];
            ++multipart.children;
            line = readEntity(childSection(multipart.section, multipart.children), false, std::nullopt);
        }
        m_stack.resize(level);
        return line;
    }

    // Copies body lines until a delimiter of an enclosing multipart, which it returns unwritten.
    std::optional<Pending> copyUntilDelimiter(std::optional<Pending> line)
    {
        while (line && !delimiter(*line)) {
            write(line->text);
            line = nextLine();
        }
        return line;
    }

    std::optional<Pending> fillStrippedPart(const QByteArray &block, const QByteArray &blankLine,
                                            const QString &section, const MimePartHeaders &headers)
    {
        const std::optional<StrippedContent> content = findStrippedContent(m_path, section, headers.fileName);
        if (!content) {
            m_result.missingParts << (headers.fileName.isEmpty()
                                          ? section
                                          : QStringLiteral("%1 (%2)").arg(section, headers.fileName));
            write(block + blankLine);
            return copyUntilDelimiter(nextLine());
        }
        // The stripped body is empty; blank lines that stand in for it are dropped.
        QList<Pending> held;
        std::optional<Pending> line = nextLine();
        while (line && !delimiter(*line) && line->whole && isBlank(line->text)) {
            held.append(*line);
            line = nextLine();
        }
        write(withoutContentLengthHeader(block) + blankLine);
        if (line && !delimiter(*line)) { // not empty after all: keep what is there
            for (const Pending &kept : held)
                write(kept.text);
            return copyUntilDelimiter(line);
        }
        writeContent(*content, headers.transferEncoding);
        return line;
    }

    void writeContent(const StrippedContent &content, const QByteArray &transferEncoding)
    {
        RegularFile file(content.path);
        if (!file.openForReading()) {
            m_result.ok = false;
            m_result.error = file.failure();
            return;
        }
        writeEncodedBody(file, transferEncoding, content.encoded, m_lineEnd, [this](const QByteArray &bytes) {
            m_out.write(bytes);
            return m_out.error().isEmpty();
        });
    }

    const QString m_path;
    LineReader m_lines;
    Output m_out;
    QByteArray m_lineEnd = "\n";
    QList<Multipart> m_stack;
    ReassemblyResult m_result;
};

} // namespace

bool isPartialMessageFile(const QString &path)
{
    return path.endsWith(QStringLiteral(".partial.emlx"), Qt::CaseInsensitive);
}

QString fullMessageFileOf(const QString &partialPath)
{
    return partialPath.chopped(QStringLiteral(".partial.emlx").size()) + QStringLiteral(".emlx");
}

ReassemblyResult writeReassembledMessage(const QString &path, const EmlxEnvelope &envelope, QIODevice &out,
                                         const std::function<bool()> &keepGoing)
{
    RegularFile in(path);
    if (!in.openForReading())
        return {false, in.failure(), {}};
    if (!in.seek(envelope.messageOffset))
        return {false, QStringLiteral("cannot read %1: %2").arg(quotedPath(path), in.errorString()), {}};
    return Reassembler(path, in, envelope.messageLength, out, keepGoing).run();
}
