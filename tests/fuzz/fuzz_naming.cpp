// Composing and cleaning names from arbitrary header text: the result is one valid file name.
#include "FuzzInput.h"
#include "OutputNaming.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 9)
        return 0;
    const int scheme = data[0] % 6;
    qint64 seconds = 0;
    memcpy(&seconds, data + 1, 8);
    const QByteArray text(reinterpret_cast<const char *>(data) + 9, qsizetype(size - 9));
    const qsizetype split = text.indexOf('\n');
    FuzzedHeaders headers(QString::fromUtf8(text.left(split < 0 ? text.size() : split)),
                          QString::fromUtf8(split < 0 ? QByteArray() : text.mid(split + 1)),
                          QDateTime::fromSecsSinceEpoch(seconds % (400LL * 365 * 86400)));
    const QString own = ownOutputName(headers.GetFrom());
    const QString name = CleanOutputName(ComposeOutputName(own, NamingScheme(scheme), headers));
    for (const QString &result : {name, numberedOutputName(name, int(data[1]) + 2)}) {
        FuzzInput::check(result.size() <= outputNameLimit && result.toUtf8().size() <= fileNameByteLimit);
        FuzzInput::check(QString::fromUtf8(result.toUtf8()) == result); // no character split by the caps
        for (QChar c : result)
            FuzzInput::check(c.unicode() >= 32 && !QStringLiteral(":?\\/*\"<>|").contains(c));
        FuzzInput::check(!name.endsWith(QStringLiteral(".eml")) || result.endsWith(QStringLiteral(".eml")));
    }
    return 0;
}
