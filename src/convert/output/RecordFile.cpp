#include "convert/output/RecordFile.h"

#include "platform/AtomicWriter.h"
#include "platform/FileFacts.h"
#include "platform/RegularFile.h"

#include <QFileDevice>
#include <QFileInfo>

namespace RecordFile {

namespace {

constexpr qsizetype chunk = 64 << 10;

// The next line of `file` without its line break into `line`; false at the end. A line longer
// than `longest` is read through in chunks and comes back empty with `tooLong` set.
bool nextLine(QIODevice &file, qsizetype longest, QByteArray *line, bool *tooLong)
{
    line->clear();
    *tooLong = false;
    for (;;) {
        const QByteArray part = file.readLine(qMin<qsizetype>(chunk, longest + 2));
        if (part.isEmpty())
            return false; // the end, or a last line cut short by a stopped run
        if (!*tooLong)
            *line += part;
        if (line->size() > longest + 1) {
            *tooLong = true;
            line->clear();
        }
        if (part.endsWith('\n')) {
            if (!*tooLong)
                line->chop(1);
            return true;
        }
    }
}

} // namespace

bool read(const QString &path, const QByteArray &firstLine, qsizetype longestLine,
          const std::function<void(QByteArrayView line)> &take)
{
    if (QFileInfo(path).isSymLink())
        return false;
    RegularFile file(path);
    if (!file.openForReading() || file.read(firstLine.size()) != firstLine)
        return false;
    QByteArray line;
    bool tooLong = false;
    while (nextLine(file, longestLine, &line, &tooLong))
        if (!tooLong)
            take(line);
    return true;
}

FileResult write(const QString &path, const QByteArray &firstLine, const QByteArray &lines)
{
    const QFileInfo there(path);
    if (there.isSymLink())
        return FileResult::failure(NoteReason::StateNotKept, linkRefusal(path));
    const QString kind = there.exists() ? nonRegularFileKind(path) : QString();
    if (!kind.isEmpty())
        return FileResult::failure(NoteReason::StateNotKept,
                                   QStringLiteral("%1 is not a regular file (%2)").arg(quotedPath(path), kind));
    return writeFileAtomically(path, false, FileStamp(), [&](QFileDevice &out, QString *error) {
        if (writeAll(out, firstLine.constData(), firstLine.size()) && writeAll(out, lines.constData(), lines.size()))
            return true;
        *error = out.errorString();
        return false;
    });
}

bool fitsInAPath(const QString &path)
{
#ifdef Q_OS_WIN
    return path.size() <= 32767; // the longest path Windows takes, in UTF-16 units
#else
    return path.toUtf8().size() < 4096; // PATH_MAX, with its terminating NUL
#endif
}

} // namespace RecordFile
