#include "convert/UpdateRecord.h"

#include "convert/UpToDate.h"
#include "platform/RegularFile.h"

#include <QFile>
#include <QFileInfo>

#if defined(Q_OS_UNIX) && !defined(EMLX_PORTABLE_IO)
#define POSIX_FILES 1
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#define POSIX_FILES 0
#endif

namespace {

const QByteArray firstLine = QByteArrayLiteral("emlx2eml update record 1\n");
// A record larger than this is not ours to trust: about two million messages.
constexpr qint64 sizeLimit = 512 << 20;
constexpr int fieldCount = 8;

// One line: source size, modification seconds and nanoseconds, scheme, message offset and
// length, then the source's path and the name, percent-encoded so that no blank or line end
// of theirs can break the line.
QByteArray lineOf(const QString &source, const UpdateRecord::Entry &entry)
{
    const QList<QByteArray> fields{QByteArray::number(entry.sourceSize),
                                   QByteArray::number(entry.sourceStamp.modifiedSeconds),
                                   QByteArray::number(entry.sourceStamp.modifiedNanoseconds),
                                   QByteArray(schemeRow(entry.scheme).name.data(), schemeRow(entry.scheme).name.size()),
                                   QByteArray::number(entry.messageOffset),
                                   QByteArray::number(entry.messageLength),
                                   source.toUtf8().toPercentEncoding(),
                                   entry.name.toUtf8().toPercentEncoding()};
    return fields.join(' ') + '\n';
}

// An entry from a line, when every field is what a run writes.
std::optional<std::pair<QString, UpdateRecord::Entry>> entryFrom(const QByteArray &line)
{
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() != fieldCount)
        return std::nullopt;
    bool ok[6] = {};
    UpdateRecord::Entry entry;
    entry.sourceSize = fields[0].toLongLong(&ok[0]);
    entry.sourceStamp.modifiedSeconds = fields[1].toLongLong(&ok[1]);
    entry.sourceStamp.modifiedNanoseconds = fields[2].toLongLong(&ok[2]);
    entry.messageOffset = fields[4].toLongLong(&ok[3]);
    entry.messageLength = fields[5].toLongLong(&ok[4]);
    const std::optional<NamingScheme> scheme = schemeFromName(QString::fromLatin1(fields[3]));
    ok[5] = scheme.has_value();
    for (const bool fieldOk : ok)
        if (!fieldOk)
            return std::nullopt;
    entry.scheme = *scheme;
    entry.sourceStamp.known = true;
    const QString source = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[6]));
    entry.name = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[7]));
    // Only a name that naming itself could have given, and a range inside the file.
    if (source.isEmpty() || entry.name.isEmpty() || CleanOutputName(entry.name) != entry.name ||
        entry.messageOffset < 0 || entry.messageLength < 0 ||
        entry.messageOffset > entry.sourceSize - entry.messageLength)
        return std::nullopt;
    return std::pair(source, entry);
}

// Opens the record to append to, or to write anew; never through a link, never into a pipe,
// a device or a folder.
bool openForWriting(QFile &file, const QString &path, bool afresh, QString *error)
{
#if POSIX_FILES
    // Emptied only once known to be a regular file.
    int handle = ::open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat status = {};
    if (handle >= 0 && (::fstat(handle, &status) != 0 || !S_ISREG(status.st_mode))) {
        ::close(handle);
        *error = QStringLiteral("it is not a regular file");
        return false;
    }
    if (handle < 0 || (afresh && ::ftruncate(handle, 0) != 0)) {
        *error = errno == ELOOP ? QStringLiteral("it is a link; nothing is written through links in the destination")
                                : QString::fromLocal8Bit(std::strerror(errno));
        if (handle >= 0)
            ::close(handle);
        return false;
    }
    ::fcntl(handle, F_SETFL, ::fcntl(handle, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(handle, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        *error = file.errorString();
        return false;
    }
    return true;
#else
    const QFileInfo info(path);
    if (info.isSymLink()) {
        *error = QStringLiteral("it is a link; nothing is written through links in the destination");
        return false;
    }
    if (info.exists() && !info.isFile()) {
        *error = QStringLiteral("it is not a regular file");
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | (afresh ? QIODevice::Truncate : QIODevice::Append))) {
        *error = file.errorString();
        return false;
    }
    return true;
#endif
}

} // namespace

QString UpdateRecord::pathIn(const QString &destination)
{
    return withTrailingSlash(destination) + QStringLiteral(".emlx2eml-update");
}

void UpdateRecord::load(const QString &destination)
{
    m_path = pathIn(destination);
    m_entries.clear();
    const QFileInfo info(m_path);
    RegularFile file(m_path);
    if (!info.exists() || info.isSymLink() || !file.openForReading())
        return;
    if (file.size() > sizeLimit || file.read(firstLine.size()) != firstLine) {
        m_startAfresh = true;
        return;
    }
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (!line.endsWith('\n'))
            break; // cut short by a stopped run
        line.chop(1);
        if (const auto entry = entryFrom(line))
            m_entries.insert(entry->first, entry->second); // a later line wins
    }
}

std::optional<UpdateRecord::Entry> UpdateRecord::unchangedEntryOf(const QString &source) const
{
    const auto found = m_entries.constFind(source);
    if (found == m_entries.cend())
        return std::nullopt;
    const FileStamp now = unchangedSourceStamp(source, found->sourceSize, found->sourceStamp);
    if (!now.known)
        return std::nullopt;
    Entry entry = *found;
    entry.sourceStamp = now;
    return entry;
}

void UpdateRecord::add(const QString &source, const Entry &entry)
{
    if (entry.sourceStamp.known)
        m_pending += lineOf(source, entry);
}

FileResult UpdateRecord::save()
{
    if (m_pending.isEmpty() || m_path.isEmpty())
        return {};
    QFile file;
    QString error;
    const bool afresh = m_startAfresh || !QFileInfo::exists(m_path) || QFileInfo(m_path).size() == 0;
    if (openForWriting(file, m_path, afresh, &error)) {
        const QByteArray lines = (afresh ? firstLine : QByteArray()) + m_pending;
        if (writeAll(file, lines.constData(), lines.size()) && file.flush()) {
            m_pending.clear();
            m_startAfresh = false;
            return {};
        }
        error = file.errorString();
    }
    const QString path = m_path;
    m_pending.clear();
    m_path.clear(); // told once; the run's later messages are not recorded
    return FileResult::failure(QStringLiteral("cannot keep the record of written messages %1: %2; a later run "
                                              "with --update reads their sources again")
                                   .arg(quotedPath(path), error));
}
