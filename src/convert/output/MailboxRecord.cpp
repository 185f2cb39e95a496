#include "convert/output/MailboxRecord.h"

#include "convert/output/RecordFile.h"
#include "platform/FileFacts.h"

#include <QDir>

#include <algorithm>

namespace {

const QByteArray firstLine = QByteArrayLiteral("emlx2eml mailbox record 1\n");
// Three numbers and a percent-encoded path (each byte at most three).
constexpr qsizetype longestLine = 100 + 3 * 4 * 32767;

// "M size seconds nanoseconds mailbox" for a mailbox file (below the destination), then
// "S size seconds nanoseconds source" for each of its sources; paths percent-encoded.
QByteArray lineOf(char kind, qint64 size, qint64 seconds, qint64 nanoseconds, const QString &path)
{
    return QByteArray(1, kind) + ' ' + QByteArray::number(size) + ' ' + QByteArray::number(seconds) + ' ' +
           QByteArray::number(nanoseconds) + ' ' + path.toUtf8().toPercentEncoding() + '\n';
}

struct Line {
    char kind = 0;
    MailboxRecord::Source fields;
};

// A line when every field is what a run writes: a path that is whole and clean (a source) or
// clean and relative, without a step that climbs or stays (a mailbox).
std::optional<Line> lineFrom(QByteArrayView text)
{
    const QList<QByteArray> fields = text.toByteArray().split(' ');
    if (fields.size() != 5 || (fields[0] != "M" && fields[0] != "S"))
        return std::nullopt;
    Line line{fields[0][0], {}};
    bool ok[3] = {};
    line.fields.size = fields[1].toLongLong(&ok[0]);
    line.fields.modifiedSeconds = fields[2].toLongLong(&ok[1]);
    line.fields.modifiedNanoseconds = fields[3].toLongLong(&ok[2]);
    line.fields.path = QString::fromUtf8(QByteArray::fromPercentEncoding(fields[4]));
    const QString &path = line.fields.path;
    const bool pathOk = RecordFile::fitsInAPath(path) && !path.isEmpty() && QDir::cleanPath(path) == path &&
                        (line.kind == 'S' ? QDir::isAbsolutePath(path)
                                          : !QDir::isAbsolutePath(path) && path != u"." && !path.startsWith(u"../") &&
                                                path != u"..");
    if (!ok[0] || !ok[1] || !ok[2] || !pathOk || line.fields.size < 0)
        return std::nullopt;
    return line;
}

} // namespace

QString MailboxRecord::pathIn(const QString &destination)
{
    return withTrailingSlash(destination) + QStringLiteral(".emlx2eml-mailboxes");
}

MailboxRecord::Source MailboxRecord::sourceOf(const QString &path, qint64 size, const FileStamp &stamp)
{
    return {path, size, stamp.modifiedSeconds, stamp.modifiedNanoseconds};
}

void MailboxRecord::load(const QString &destinationPrefix)
{
    m_prefix = destinationPrefix;
    m_mailboxes.clear();
    Mailbox *current = nullptr;
    RecordFile::read(pathIn(m_prefix), firstLine, longestLine, [&](QByteArrayView text) {
        const std::optional<Line> line = lineFrom(text);
        if (line && line->kind == 'M') {
            Mailbox &mailbox = m_mailboxes[m_prefix + line->fields.path];
            mailbox = {line->fields.size, {true, 0, line->fields.modifiedSeconds, line->fields.modifiedNanoseconds}, {}};
            current = &mailbox;
        } else if (line && current) {
            current->sources.append(line->fields);
        } else {
            current = nullptr; // a mailbox with a line that does not fit is not trusted
        }
    });
    for (auto it = m_mailboxes.begin(); it != m_mailboxes.end(); ++it)
        std::sort(it->sources.begin(), it->sources.end());
}

const MailboxRecord::Mailbox *MailboxRecord::find(const QString &mailbox) const
{
    const auto found = m_mailboxes.constFind(mailbox);
    return found == m_mailboxes.cend() ? nullptr : &*found;
}

bool MailboxRecord::holds(const QString &mailbox, const QList<Source> &sources) const
{
    const Mailbox *recorded = find(mailbox);
    if (!recorded || recorded->sources != sources)
        return false;
    const FileFacts file = factsOf(mailbox, Links::NotFollowed);
    return file.regularFile && file.size == recorded->size &&
           file.stamp.modifiedSeconds == recorded->stamp.modifiedSeconds &&
           file.stamp.modifiedNanoseconds == recorded->stamp.modifiedNanoseconds;
}

void MailboxRecord::keep(const QString &mailbox, QList<Source> sources)
{
    const FileFacts file = factsOf(mailbox, Links::NotFollowed);
    m_changed = true;
    if (!file.regularFile || !mailbox.startsWith(m_prefix)) {
        m_mailboxes.remove(mailbox);
        return;
    }
    std::sort(sources.begin(), sources.end());
    m_mailboxes.insert(mailbox, {file.size, file.stamp, std::move(sources)});
}

FileResult MailboxRecord::save()
{
    if (!m_changed || m_prefix.isEmpty())
        return {};
    m_changed = false;
    QByteArray lines;
    for (auto it = m_mailboxes.cbegin(); it != m_mailboxes.cend(); ++it) {
        lines += lineOf('M', it->size, it->stamp.modifiedSeconds, it->stamp.modifiedNanoseconds,
                        it.key().mid(m_prefix.size()));
        for (const Source &source : it->sources)
            lines += lineOf('S', source.size, source.modifiedSeconds, source.modifiedNanoseconds, source.path);
    }
    const FileResult written = RecordFile::write(pathIn(m_prefix), firstLine, lines);
    if (written.ok)
        return {};
    return FileResult::failure(NoteReason::StateNotKept,
                               QStringLiteral("cannot keep the record of written mailboxes: %1; a later run with "
                                              "--update writes them again")
                                   .arg(written.error));
}
