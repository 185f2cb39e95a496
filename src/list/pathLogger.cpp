#include "list/pathLogger.h"

#include "platform/PathHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

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

// Notes an entry whose name is no valid UTF-8, when it matters: a message file, or a folder
// with message files below it.
void noteUnusable(UnusableNames &names, const QString &folder, QByteArrayView raw, const QByteArray &path)
{
    if (isRealFolder(path)) {
        if (const int count = countMessageFilesBelow(path); count > 0)
            names.folders.append({folder + escapedName(raw) + u'/', count});
    } else if (hasMessageSuffix(raw)) {
        names.files.append(folder + escapedName(raw));
    }
}
#endif

// What one folder holds, each list in name order (as QDir sorts by name).
struct FolderListing {
    QStringList folders;       // real folders, to walk into
    QStringList linkedFolders; // links to folders: named, not followed
    QStringList files;         // regular files, links to them, and links that lead nowhere
    QStringList specials;      // pipes, sockets, devices, and links to them
    UnusableNames unusable;
};

#if defined(Q_OS_UNIX) && !defined(EMLX_PORTABLE_IO)
enum class EntryKind { Folder, LinkedFolder, File, Special };

// What an entry is, from the type the folder listing gives where it gives one, else from the
// file itself; a link is looked through.
EntryKind kindOf(const QByteArray &path, unsigned char type)
{
    struct stat status = {};
    if (type == DT_UNKNOWN) {
        if (::lstat(path.constData(), &status) != 0)
            return EntryKind::File; // gone meanwhile: listed, and its conversion tells
        type = S_ISDIR(status.st_mode)   ? DT_DIR
               : S_ISREG(status.st_mode) ? DT_REG
               : S_ISLNK(status.st_mode) ? DT_LNK
                                         : DT_FIFO;
    }
    if (type == DT_DIR)
        return EntryKind::Folder;
    if (type == DT_REG)
        return EntryKind::File;
    if (type != DT_LNK)
        return EntryKind::Special;
    if (::stat(path.constData(), &status) != 0)
        return EntryKind::File; // a link that leads nowhere
    return S_ISDIR(status.st_mode) ? EntryKind::LinkedFolder
           : S_ISREG(status.st_mode) ? EntryKind::File
                                     : EntryKind::Special;
}

// One pass over the folder's raw entries: names that are no valid UTF-8 are told apart there,
// and the kind of most entries comes with the listing, without looking at each file.
std::optional<FolderListing> listFolder(const QString &folder)
{
    const QByteArray encodedFolder = QFile::encodeName(folder);
    DIR *dir = opendir(encodedFolder.constData());
    if (!dir)
        return std::nullopt;
    FolderListing listing;
    while (const dirent *entry = readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (raw == "." || raw == "..")
            continue;
        const QByteArray path = encodedFolder + raw;
        if (!isValidUtf8(raw)) {
            noteUnusable(listing.unusable, folder, raw, path);
            continue;
        }
        const QString name = QFile::decodeName(raw);
        switch (kindOf(path, entry->d_type)) {
        case EntryKind::Folder:
            listing.folders.append(name);
            break;
        case EntryKind::LinkedFolder:
            listing.linkedFolders.append(name);
            break;
        case EntryKind::File:
            listing.files.append(name);
            break;
        case EntryKind::Special:
            listing.specials.append(name);
            break;
        }
    }
    closedir(dir);
    for (QStringList *names : {&listing.folders, &listing.linkedFolders, &listing.files, &listing.specials})
        std::sort(names->begin(), names->end());
    return listing;
}
#else
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
        noteUnusable(names, folder, raw, encodedFolder + raw.toByteArray());
    }
    closedir(dir);
#else
    Q_UNUSED(folder);
#endif
    return names;
}

// Qt's listing, where the system's own calls are not used.
std::optional<FolderListing> listFolder(const QString &folder)
{
    const QDir dir(folder);
    if (!dir.isReadable())
        return std::nullopt;
    FolderListing listing;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir())
            (entry.isSymLink() ? listing.linkedFolders : listing.folders).append(entry.fileName());
        else if (!entry.isFile() && entry.exists())
            listing.specials.append(entry.fileName());
        else
            listing.files.append(entry.fileName());
    }
    listing.unusable = unusableNamesIn(folder);
    return listing;
}
#endif

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
    const std::optional<FolderListing> listing = listFolder(folder);
    if (!listing) {
        m_unreadable.append(folder);
        return true;
    }
    for (const QString &name : listing->linkedFolders)
        m_linkedFolders.append(folder + name);
    for (const QString &name : listing->folders) {
        ++*folderCount;
        if (!m_pathNames->add(key(*folderCount), folder + name + u'/') || !yield())
            return false;
    }
    m_unusable += listing->unusable.files;
    m_unusableFolders += listing->unusable.folders;
    if (!yield())
        return false;
    for (const QString &name : listing->specials)
        m_special.append(folder + name);
    for (const QString &name : listing->files) {
        const QString keyText = key(m_counter);
        if (!writable(m_fullFileNames).add(keyText, folder + name))
            return false;
        if (!fullFileNamesOnly) {
            writable(m_fileNames).add(keyText, name);
            writable(m_pathPointers).add(keyText, position);
        }
        ++m_counter;
        if (!yield())
            return false;
    }
    return true;
}
