// Composing and cleaning names from arbitrary header text: the result is one valid file name.
#include "FuzzInput.h"
#include "convert/OutputNaming.h"

namespace {

class FuzzedHeaders : public MessageHeaders
{
public:
    FuzzedHeaders(QString subject, QString from, QDateTime date)
        : m_subject(std::move(subject)), m_from(std::move(from)), m_date(std::move(date))
    {}
    QDateTime GetDate() override { return m_date; }
    QString GetSubject() override { return m_subject; }
    QString GetFrom() override { return m_from; }

private:
    QString m_subject, m_from;
    QDateTime m_date;
};

bool isControlBidiOrZeroWidth(QChar c)
{
    const char16_t code = c.unicode();
    return code < 32 || (code >= 127 && code < 0xA0) || code == 0x061C || (code >= 0x200B && code <= 0x200F) ||
           (code >= 0x202A && code <= 0x202E) || code == 0x2060 || (code >= 0x2066 && code <= 0x2069) ||
           code == 0xFEFF;
}

// The date as the scheme writes it.
QString expectedDate(const NamingSchemeRow &scheme, QDate day)
{
    const QString dd = QStringLiteral("%1").arg(day.day(), 2, 10, QLatin1Char('0'));
    const QString mm = QStringLiteral("%1").arg(day.month(), 2, 10, QLatin1Char('0'));
    const QString yyyy = QStringLiteral("%1").arg(day.year(), 4, 10, QLatin1Char('0'));
    return QString(scheme.dateFormat)
        .replace(QStringLiteral("yyyy"), yyyy)
        .replace(QStringLiteral("mm"), mm)
        .replace(QStringLiteral("dd"), dd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 9)
        return 0;
    const NamingSchemeRow &scheme = namingSchemes[data[0] % std::size(namingSchemes)];
    qint64 seconds = 0;
    memcpy(&seconds, data + 1, 8);
    const QByteArray text(reinterpret_cast<const char *>(data) + 9, qsizetype(size - 9));
    const qsizetype split = text.indexOf('\n');
    FuzzedHeaders headers(QString::fromUtf8(text.left(split < 0 ? text.size() : split)),
                          QString::fromUtf8(split < 0 ? QByteArray() : text.mid(split + 1)),
                          QDateTime::fromSecsSinceEpoch(seconds % (400LL * 365 * 86400)));
    const QString own = ownOutputName(headers.GetFrom());
    const QString name = CleanOutputName(ComposeOutputName(own, scheme.scheme, headers));
    const int n = int(data[1]) + 2;
    const QList<NameField> fields = schemeFields(scheme.scheme);
    const qsizetype datePosition = fields.indexOf(NameField::Date);
    const QString date = expectedDate(scheme, headers.GetDate().date());
    for (const QString &result : {name, numberedOutputName(name, n)}) {
        FuzzInput::check(result.size() <= outputNameLimit && result.toUtf8().size() <= fileNameByteLimit);
        FuzzInput::check(QString::fromUtf8(result.toUtf8()) == result); // no character split by the caps
        for (QChar c : result)
            FuzzInput::check(!isControlBidiOrZeroWidth(c) && !QStringLiteral(":?\\/*\"<>|").contains(c));
        FuzzInput::check(!name.endsWith(QStringLiteral(".eml")) || result.endsWith(QStringLiteral(".eml")));
        if (fields.isEmpty())
            continue;
        FuzzInput::check(!result.isEmpty() && result.front() != u'.' && result.front() != u'-' &&
                         !result.front().isSpace());
        const QString number = result == name ? QString() : QStringLiteral(" (%1)").arg(n);
        const QString ending = date + number + QStringLiteral(".eml");
        if (datePosition == fields.size() - 1)
            FuzzInput::check(result == ending || result.endsWith(u' ' + ending));
        else if (datePosition == 0)
            FuzzInput::check(result.startsWith(date + u' '));
        else if (datePosition > 0)
            FuzzInput::check(result.contains(u' ' + date + u' '));
    }
    return 0;
}
