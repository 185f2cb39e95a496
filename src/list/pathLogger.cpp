#include "list/pathLogger.h"

#include "platform/PathHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace {

QString key(int number)
{
    return u'K' + QString::number(number);
}

// The name as text, each byte that is not part of a valid UTF-8 sequence written as \xNN.
QString escapedName(QByteArrayView raw)
{
    QString text;
    qsizetype at = 0;
    while (at < raw.size()) {
        const uchar lead = uchar(raw[at]);
        const qsizetype length = lead < 0x80         ? 1
                                 : (lead >> 5) == 6  ? 2
                                 : (lead >> 4) == 14 ? 3
                                 : (lead >> 3) == 30 ? 4
                                                     : 0;
        const QByteArrayView sequence = raw.sliced(at, qMin(length, raw.size() - at));
        const QString decoded = length > 0 && sequence.size() == length ? QString::fromUtf8(sequence) : QString();
        if (!decoded.isEmpty() && !decoded.contains(QChar::ReplacementCharacter)) {
            text += decoded;
            at += length;
        } else {
            text += QStringLiteral("\\x") + QStringLiteral("%1").arg(lead, 2, 16, QLatin1Char('0')).toUpper();
            ++at;
        }
    }
    return text;
}

bool isValidUtf8(QByteArrayView raw)
{
    return QString::fromUtf8(raw).toUtf8() == raw;
}

bool hasMessageSuffix(QByteArrayView raw)
{
    return raw.toByteArray().toLower().endsWith(".emlx");
}

// Names in a folder that are no valid UTF-8: Qt cannot name these files or folders, so its
// listings leave them out. Only message files, and folders holding some, matter here.
struct UnusableNames {
    QStringList files;
    QList<std::pair<QString, int>> folders; // with the number of message files below each
};

#ifdef Q_OS_UNIX
bool isRealFolder(const QByteArray &path)
{
    struct stat status = {};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Files ending in ".emlx" anywhere below the folder, by raw names, links not followed.
int countMessageFilesBelow(const QByteArray &top)
{
    int count = 0;
    QList<QByteArray> folders{top};
    while (!folders.isEmpty()) {
        const QByteArray folder = folders.takeLast();
        DIR *dir = opendir(folder.constData());
        if (!dir)
            continue;
        while (const dirent *entry = readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            const QByteArray path = folder + '/' + name;
            if (isRealFolder(path))
                folders.append(path);
            else if (hasMessageSuffix(name))
                ++count;
        }
        closedir(dir);
    }
    return count;
}
#endif

UnusableNames unusableNamesIn(const QString &folder)
{
    UnusableNames names;
#ifdef Q_OS_UNIX
    const QByteArray encodedFolder = QFile::encodeName(folder);
    DIR *dir = opendir(encodedFolder.constData());
    if (!dir)
        return names;
    while (const dirent *entry = readdir(dir)) {
        const QByteArrayView raw(entry->d_name);
        if (isValidUtf8(raw))
            continue;
        const QByteArray path = encodedFolder + raw.toByteArray();
        if (isRealFolder(path)) {
            if (const int count = countMessageFilesBelow(path); count > 0)
                names.folders.append({folder + escapedName(raw) + u'/', count});
        } else if (hasMessageSuffix(raw)) {
            names.files.append(folder + escapedName(raw));
        }
    }
    closedir(dir);
#else
    Q_UNUSED(folder);
#endif
    return names;
}

} // namespace

void pathLogger::dropLists()
{
    m_fileNames.reset();
    m_pathPointers.reset();
    m_pathNames.reset();
    m_fullFileNames.reset();
}

void pathLogger::PathLogInit()
{
    fullFileNamesOnly = true;
    yield();
    dropLists();
    m_unreadable.clear();
    m_unusable.clear();
    m_unusableFolders.clear();
    m_linkedFolders.clear();
    m_special.clear();
    m_stopped = false;
}

void pathLogger::Terminate()
{
    yield();
    dropLists();
}

bool pathLogger::LogPath(const QString &path)
{
    const QString root = QDir::fromNativeSeparators(path);
    if (root.isEmpty() || !QFileInfo(root).isDir())
        return false;
    int folderCount = 1;
    m_counter = 1;
    if (!yield())
        return false;
    if (!writable(m_pathNames).add(QStringLiteral("K0"), withTrailingSlash(root)))
        return false;
    for (int position = 1; position <= folderCount; ++position) {
        if (!logFolder(position, &folderCount) || !yield())
            return false;
    }
    return true;
}

bool pathLogger::logFolder(int position, int *folderCount)
{
    const QString folder = m_pathNames->item(position);
    QDir dir(folder);
    if (!dir.isReadable()) {
        m_unreadable.append(folder);
        return true;
    }
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name | QDir::DirsFirst);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && entry.isSymLink())
            m_linkedFolders.append(folder + entry.fileName());
        if (!entry.isDir() || entry.isSymLink())
            continue;
        ++*folderCount;
        if (!m_pathNames->add(key(*folderCount), folder + entry.fileName() + u'/') || !yield())
            return false;
    }
    const UnusableNames unusable = unusableNamesIn(folder);
    m_unusable += unusable.files;
    m_unusableFolders += unusable.folders;
    if (!yield())
        return false;
    for (const QFileInfo &entry : entries) {
        if (entry.isDir())
            continue;
        if (!entry.isFile() && entry.exists()) { // a pipe, socket or device, or a link to one
            m_special.append(folder + entry.fileName());
            continue;
        }
        const QString keyText = key(m_counter);
        if (!writable(m_fullFileNames).add(keyText, folder + entry.fileName()))
            return false;
        if (!fullFileNamesOnly) {
            writable(m_fileNames).add(keyText, entry.fileName());
            writable(m_pathPointers).add(keyText, position);
        }
        ++m_counter;
        if (!yield())
            return false;
    }
    return true;
}
