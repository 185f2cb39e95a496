#include "convert/HeaderFields.h"

#include <QIODevice>

namespace {

constexpr qint64 readStep = 64 << 10;
constexpr qsizetype fieldNameLimit = 76;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Goes through the header block byte by byte, so neither a long line nor a long field is
// ever held whole.
class FieldScanner
{
public:
    explicit FieldScanner(HeaderFields &fields) : m_fields(fields) {}

    // False once the header block has ended or all three fields are read.
    bool feed(const char *data, qsizetype size)
    {
        for (qsizetype i = 0; i < size; ++i)
            if (!take(data[i]))
                return false;
        return true;
    }

private:
    enum class State { LineStart, Name, BeforeColon, ValueBlanks, Value, SkipLine };

    bool take(char c)
    {
        const bool afterCr = m_afterCr;
        m_afterCr = c == '\r';
        if (c == '\n' && afterCr)
            return true;
        if (c == '\r' || c == '\n')
            return endLine();
        switch (m_state) {
        case State::LineStart:
            return startLine(c);
        case State::Name:
            if (c == ':')
                startValue();
            else if (isBlank(c))
                m_state = State::BeforeColon;
            else if (c > ' ' && c < 127 && m_name.size() < fieldNameLimit)
                m_name += c;
            else
                m_state = State::SkipLine;
            return true;
        case State::BeforeColon:
            if (c == ':')
                startValue();
            else if (!isBlank(c))
                m_state = State::SkipLine;
            return true;
        case State::ValueBlanks:
            if (isBlank(c))
                return true;
            if (m_value && m_pendingSpace && !m_value->isEmpty())
                append(' ');
            m_pendingSpace = false;
            m_state = State::Value;
            append(c);
            return true;
        case State::Value:
            append(c);
            return true;
        case State::SkipLine:
            return true;
        }
        return true;
    }

    bool startLine(char c)
    {
        if (isBlank(c)) {
            // A fold: the field goes on after one space.
            m_state = m_value ? State::ValueBlanks : State::SkipLine;
            m_pendingSpace = true;
            return true;
        }
        m_value = nullptr;
        if (!m_fields.subject.isNull() && !m_fields.from.isNull() && !m_fields.date.isNull())
            return false;
        m_name = QByteArray(1, c);
        m_state = c == ':' ? State::SkipLine : State::Name;
        return true;
    }

    void startValue()
    {
        m_value = nullptr;
        const QByteArray name = m_name.toLower();
        // Only the first field of each name counts.
        for (QByteArray *field : {&m_fields.subject, &m_fields.from, &m_fields.date, &m_fields.returnPath})
            if (name == nameOf(field) && field->isNull())
                m_value = &(*field = QByteArray(""));
        m_pendingSpace = false;
        m_state = m_value ? State::ValueBlanks : State::SkipLine;
    }

    QByteArray nameOf(const QByteArray *field) const
    {
        return field == &m_fields.subject      ? "subject"
               : field == &m_fields.from       ? "from"
               : field == &m_fields.returnPath ? "return-path"
                                               : "date";
    }

    bool endLine()
    {
        if (m_state == State::LineStart)
            return false; // the empty line that ends the header block
        if (m_value)
            while (!m_value->isEmpty() && isBlank(m_value->back()))
                m_value->chop(1);
        m_state = State::LineStart;
        return true;
    }

    void append(char c)
    {
        if (m_value && m_value->size() < HeaderFields::fieldValueLimit)
            *m_value += c ? c : ' ';
    }

    HeaderFields &m_fields;
    State m_state = State::LineStart;
    QByteArray m_name;
    QByteArray *m_value = nullptr;
    bool m_pendingSpace = false;
    bool m_afterCr = false;
};

} // namespace

HeaderFields readHeaderFields(QIODevice &device, qint64 length)
{
    HeaderFields fields;
    FieldScanner scanner(fields);
    const qint64 limit = qMin(length, HeaderFields::scanLimit);
    QByteArray buffer(qsizetype(qMin(readStep, qMax<qint64>(limit, 0))), Qt::Uninitialized);
    qint64 done = 0;
    while (done < limit) {
        const qint64 got = device.read(buffer.data(), qMin<qint64>(buffer.size(), limit - done));
        if (got <= 0)
            return fields;
        qsizetype start = 0;
        if (done == 0 && got >= 3 && buffer.startsWith("\xEF\xBB\xBF"))
            start = 3;
        done += got;
        if (!scanner.feed(buffer.constData() + start, qsizetype(got) - start)) {
            fields.complete = true;
            return fields;
        }
    }
    fields.complete = done >= length;
    return fields;
}
