#include "convert/output/UpdateRecord.h"

#include "convert/output/RecordFile.h"
#include "convert/output/UpToDate.h"

#include <QDir>

namespace {

const QByteArray firstLine = QByteArrayLiteral("emlx2eml update record 1\n");
constexpr int fieldCount = 8;
// Numbers, a scheme, and a path and a name percent-encoded (each byte at most three).
constexpr qsizetype longestLine = 200 + 3 * (4 * 32767 + 4 * 220);
// Below this many entries the record is saved after every batch.
constexpr qsizetype fewEntries = 1000;

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
    // Only a whole, clean path of this system, a name that naming itself could have given, and a
    // range inside the file.
    if (!QDir::isAbsolutePath(source) || QDir::cleanPath(source) != source || !RecordFile::fitsInAPath(source) ||
        entry.name.isEmpty() || CleanOutputName(entry.name) != entry.name || notReservedName(entry.name) != entry.name ||
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
    RecordFile::read(m_path, firstLine, longestLine, [this](QByteArrayView line) {
        if (const auto entry = entryFrom(line.toByteArray()))
            m_entries.insert(entry->first, entry->second); // a later line wins
    });
    m_saved = m_entries.size();
    m_added = 0;
}

std::optional<UpdateRecord::Entry> UpdateRecord::unchangedEntryOf(const QString &source) const
{
    Entry entry;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        const auto found = m_entries.constFind(source);
        if (found == m_entries.cend())
            return std::nullopt;
        entry = *found;
    }
    const FileStamp now = unchangedSourceStamp(source, entry.sourceSize, entry.sourceStamp);
    if (!now.known)
        return std::nullopt;
    entry.sourceStamp = now;
    return entry;
}

void UpdateRecord::add(const QString &source, const Entry &entry)
{
    if (!entry.sourceStamp.known)
        return;
    const std::lock_guard<std::mutex> guard(m_lock);
    m_entries.insert(source, entry);
    ++m_added;
}

FileResult UpdateRecord::saveWhenDue()
{
    return m_added >= qMax(m_saved, fewEntries) || (m_added > 0 && m_saved + m_added <= fewEntries) ? save()
                                                                                                  : FileResult{};
}

FileResult UpdateRecord::save()
{
    if (m_added == 0 || m_path.isEmpty())
        return {};
    QByteArray lines;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        lines += lineOf(it.key(), it.value());
    const FileResult written = RecordFile::write(m_path, firstLine, lines);
    if (written.ok) {
        m_saved = m_entries.size();
        m_added = 0;
        return {};
    }
    m_path.clear(); // told once; the run's later messages are not recorded
    return FileResult::failure(NoteReason::StateNotKept,
                               QStringLiteral("cannot keep the record of written messages: %1; a later run with "
                                              "--update reads their sources again")
                                   .arg(written.error));
}
