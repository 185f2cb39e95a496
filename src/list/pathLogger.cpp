#include "list/pathLogger.h"

#include "platform/FolderListing.h"
#include "platform/PathHelpers.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace {

QString key(int number)
{
    return u'K' + QString::number(number);
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
    const std::optional<FolderListing> listing = listFolder(folder, ".emlx");
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
        if (m_fileFound)
            m_fileFound(folder, name);
        else if (!logFile(folder, name, position))
            return false;
        ++m_counter;
        if (!yield())
            return false;
    }
    return true;
}

bool pathLogger::logFile(const QString &folder, const QString &name, int position)
{
    const QString keyText = key(m_counter);
    if (!writable(m_fullFileNames).add(keyText, folder + name))
        return false;
    if (!fullFileNamesOnly) {
        writable(m_fileNames).add(keyText, name);
        writable(m_pathPointers).add(keyText, position);
    }
    return true;
}
