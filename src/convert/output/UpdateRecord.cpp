#include "convert/output/UpdateRecord.h"

#include "convert/output/UpToDate.h"
#include "platform/RegularFile.h"

#include <QFile>
#include <QFileInfo>

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
    if (openRegularFileForWriting(file, m_path, afresh ? WriteMode::Truncate : WriteMode::Append, &error)) {
        const QByteArray lines = (afresh ? firstLine : QByteArray()) + m_pending;
        if (writeAll(file, lines.constData(), lines.size()) && file.flush()) {
            m_pending.clear();
            m_startAfresh = false;
            return {};
        }
        error = QStringLiteral("cannot write %1: %2").arg(quotedPath(m_path), file.errorString());
    }
    m_pending.clear();
    m_path.clear(); // told once; the run's later messages are not recorded
    return FileResult::failure(NoteReason::StateNotKept,
                               QStringLiteral("cannot keep the record of written messages: %1; a later run with "
                                              "--update reads their sources again")
                                   .arg(error));
}
