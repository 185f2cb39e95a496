#include "platform/PathHelpers.h"

#include "platform/SystemCalls.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>

#include <cstring>
#include <filesystem>

QString GetFileNamePart(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString GetFolderPart(const QString &path)
{
    return path.left(path.lastIndexOf(u'/') + 1);
}

QString quotedPath(const QString &path)
{
    return u'"' + QDir::toNativeSeparators(path) + u'"';
}

QString dropPathRoot(const QString &folder)
{
    qsizetype start = 0;
    if (folder.size() >= 2 && folder[1] == u':' && folder[0].isLetter())
        start = 2;
    while (start < folder.size() && folder[start] == u'/')
        ++start;
    return folder.mid(start);
}

QString withTrailingSlash(const QString &folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

std::filesystem::path toFsPath(const QString &path)
{
    QString native = QDir::toNativeSeparators(path);
#if EMLX_WINDOWS_CALLS
    // Paths of any length: the system's own form for them ("C:\..." as "\\?\C:\...").
    if (native.size() >= 3 && native[1] == u':' && native[2] == u'\\')
        native.prepend(QStringLiteral("\\\\?\\"));
    else if (native.startsWith(QStringLiteral("\\\\")) && !native.startsWith(QStringLiteral("\\\\?\\")))
        native.replace(0, 2, QStringLiteral("\\\\?\\UNC\\"));
#endif
    return std::filesystem::path(native.toStdU16String());
}

QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString systemErrorText(const std::error_code &code)
{
    return QString::fromLocal8Bit(code.message());
}

FileResult EnsureFolderExists(const QString &folder)
{
    if (folder.isEmpty() || QFileInfo(folder).isDir())
        return {};
    std::error_code code;
    std::filesystem::create_directories(toFsPath(folder), code);
    if (QFileInfo(folder).isDir())
        return {};
    QString reason = !code || code == std::errc::file_exists || code == std::errc::not_a_directory
                         ? QStringLiteral("a file of that name is in the way")
                         : systemErrorText(code);
    // A link whose target does not exist stands where a folder should be, or on the way to it.
    for (QString step = QDir::cleanPath(folder); !step.isEmpty() && !QDir(step).isRoot();
         step = QFileInfo(step).path()) {
        const QFileInfo info(step);
        if (info.isSymLink() && !info.exists()) {
            reason = QStringLiteral("%1 is a link whose target does not exist").arg(quotedPath(step));
            break;
        }
        if (info.exists())
            break;
    }
    return FileResult::failure(NoteReason::CannotMakeFolder,
                               QStringLiteral("cannot create folder %1: %2").arg(quotedPath(folder), reason));
}

bool writeAll(QIODevice &out, const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 written = out.write(data, size);
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}
