#include "convert/MailboxFormats.h"

#include "platform/InFlightFiles.h"

#include <QCryptographicHash>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTimeZone>

#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

QString maildirFlagLetters(quint64 flags)
{
    QString letters;
    const std::pair<quint64, char> inOrder[] = {{MessageFlag::Draft, 'D'},
                                                {MessageFlag::Flagged, 'F'},
                                                {MessageFlag::Answered, 'R'},
                                                {MessageFlag::Read, 'S'},
                                                {MessageFlag::Deleted, 'T'}};
    for (const auto &[bit, letter] : inOrder)
        if (flags & bit)
            letters += QLatin1Char(letter);
    return letters;
}

QString maildirUniqueName(const QString &absoluteSource)
{
    const QByteArray hash = QCryptographicHash::hash(absoluteSource.toUtf8(), QCryptographicHash::Sha1);
    return QString::fromLatin1(hash.toHex().left(24));
}

namespace {

std::optional<QString> addressIn(const QString &fromHeader)
{
    static const QRegularExpression bracketed(QStringLiteral("<([^<>\\s]+@[^<>\\s]+)>"));
    static const QRegularExpression bare(QStringLiteral("([^\\s<>\"(),;:]+@[^\\s<>\"(),;:]+)"));
    for (const QRegularExpression *pattern : {&bracketed, &bare}) {
        const QRegularExpressionMatch match = pattern->match(fromHeader);
        if (match.hasMatch())
            return match.captured(1);
    }
    return std::nullopt;
}

// The C library's asctime() shape, "Sat Aug  6 10:00:00 2011", in UTC and English whatever the locale.
QString asctimeText(const QDateTime &date)
{
    const QDateTime utc = (date.isValid() ? date : QDateTime::fromSecsSinceEpoch(0)).toTimeZone(QTimeZone::utc());
    const QLocale c = QLocale::c();
    return c.toString(utc, QStringLiteral("ddd MMM ")) + QStringLiteral("%1").arg(utc.date().day(), 2) +
           c.toString(utc, QStringLiteral(" hh:mm:ss yyyy"));
}

} // namespace

QByteArray mboxSeparatorLine(const QString &returnPath, const QString &fromHeader, const QDateTime &date)
{
    // A Return-Path that is there but empty ("<>") is a bounce's: it has no sender to name.
    const QString sender = !returnPath.isEmpty() ? addressIn(returnPath).value_or(QStringLiteral("MAILER-DAEMON"))
                                                 : addressIn(fromHeader).value_or(QStringLiteral("MAILER-DAEMON"));
    return "From " + sender.toUtf8() + ' ' + asctimeText(date).toLatin1() + '\n';
}

QByteArray mboxStatusHeaders(quint64 flags)
{
    QByteArray headers = (flags & MessageFlag::Read) ? "Status: RO\n" : "Status: O\n";
    QByteArray extra;
    if (flags & MessageFlag::Answered)
        extra += 'A';
    if (flags & MessageFlag::Deleted)
        extra += 'D';
    if (flags & MessageFlag::Flagged)
        extra += 'F';
    if (flags & MessageFlag::Draft)
        extra += 'T';
    if (!extra.isEmpty())
        headers += "X-Status: " + extra + '\n';
    return headers;
}

MboxrdQuoting::MboxrdQuoting(QIODevice &out) : m_out(out)
{
    open(QIODevice::WriteOnly);
}

bool MboxrdQuoting::pass(const char *data, qint64 size)
{
    if (size <= 0)
        return true;
    m_lastByte = data[size - 1];
    if (writeAll(m_out, data, size))
        return true;
    setErrorString(m_out.errorString());
    return false;
}

qint64 MboxrdQuoting::writeData(const char *data, qint64 size)
{
    static constexpr QByteArrayView from("From ");
    qint64 i = 0;
    while (i < size) {
        if (!m_atLineStart) {
            const void *lineBreak = std::memchr(data + i, '\n', size_t(size - i));
            const qint64 end = lineBreak ? static_cast<const char *>(lineBreak) - data + 1 : size;
            if (!pass(data + i, end - i))
                return -1;
            i = end;
            m_atLineStart = lineBreak != nullptr;
            continue;
        }
        m_held.append(data[i++]);
        qsizetype quotes = 0;
        while (quotes < m_held.size() && m_held[quotes] == '>')
            ++quotes;
        const QByteArrayView rest = QByteArrayView(m_held).sliced(quotes);
        if (rest.size() < from.size() && from.startsWith(rest))
            continue; // may still become "From "
        const bool quote = rest == from;
        if ((quote && !pass(">", 1)) || !pass(m_held.constData(), m_held.size()))
            return -1;
        m_atLineStart = !quote && m_held.endsWith('\n');
        m_held.clear();
    }
    return size;
}

bool MboxrdQuoting::finish()
{
    const bool passed = pass(m_held.constData(), m_held.size());
    m_held.clear();
    m_atLineStart = true;
    return passed;
}

MboxFile::MboxFile(QString target) : m_target(std::move(target)) {}

MboxFile::~MboxFile() = default;

QIODevice *MboxFile::beginMessage(const QByteArray &separatorLine, QString *error)
{
    if (!m_file) {
        m_file = std::make_unique<QTemporaryFile>(GetFolderPart(m_target) + temporaryFilePrefix +
                                                  QStringLiteral("XXXXXX") + temporaryFileSuffix);
        if (!m_file->open()) {
            *error = QStringLiteral("cannot write the mailbox %1: %2").arg(quotedPath(m_target), m_file->errorString());
            m_file.reset();
            return nullptr;
        }
        m_inFlight = std::make_unique<InFlightFile>(*m_file);
        m_quoting = std::make_unique<MboxrdQuoting>(*m_file);
    }
    m_messageStart = m_file->pos();
    if (!writeAll(*m_file, separatorLine.constData(), separatorLine.size())) {
        *error = QStringLiteral("cannot write the mailbox %1: %2").arg(quotedPath(m_target), m_file->errorString());
        dropMessage();
        return nullptr;
    }
    return m_quoting.get();
}

FileResult MboxFile::endMessage()
{
    // The message ends with a line break of its own, then the empty line that parts it from the next.
    const bool ended = m_quoting->finish() && (m_quoting->endedWithLineBreak() || writeAll(*m_file, "\n", 1)) &&
                       writeAll(*m_file, "\n", 1);
    if (!ended) {
        const QString reason = m_file->errorString();
        dropMessage();
        return FileResult::failure(QStringLiteral("cannot write the mailbox %1: %2").arg(quotedPath(m_target), reason));
    }
    return {};
}

void MboxFile::dropMessage()
{
    m_quoting->finish();
    m_file->resize(m_messageStart);
    m_file->seek(m_messageStart);
}

FileResult MboxFile::finish()
{
    if (!m_file)
        return {};
    const auto failed = [this](const QString &reason) {
        return FileResult::failure(
            QStringLiteral("cannot put the mailbox %1 in place: %2").arg(quotedPath(m_target), reason));
    };
    if (!m_file->flush())
        return failed(m_file->errorString());
    // Closed for real before the rename (Windows renames no open file): QTemporaryFile lets go
    // of its handle only when it goes.
    const QString temporaryName = m_file->fileName();
    m_file->setAutoRemove(false);
    m_file.reset();
    std::error_code error;
    std::filesystem::rename(toFsPath(temporaryName), toFsPath(m_target), error);
    if (error)
        QFile::remove(temporaryName);
    m_inFlight.reset();
    if (error)
        return failed(QString::fromLocal8Bit(error.message()));
    return {};
}
