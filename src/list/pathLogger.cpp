#include "list/pathLogger.h"

#include "platform/FolderListing.h"
#include "platform/PathHelpers.h"
#include "platform/WorkerThreads.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

QString key(int number)
{
    return u'K' + QString::number(number);
}

// The names whose files matter where a name is no valid UTF-8.
constexpr QByteArrayView messageSuffix(".emlx");

} // namespace

// Listings of the folders that the walk has found but not yet taken, made a window at a time by
// several threads; the walk then takes them in its own order.
class FolderListingsAhead
{
public:
    explicit FolderListingsAhead(int jobs) : m_threads(jobs, {}) {}

    // The listing of the folder at `position`; `folderAt` names the folders found so far, up to
    // `lastFound`.
    std::optional<FolderListing> take(int position, int lastFound, const std::function<QString(int)> &folderAt)
    {
        if (position < m_first || position >= m_first + int(m_listings.size()))
            listFrom(position, lastFound, folderAt);
        return std::move(m_listings[size_t(position - m_first)]);
    }
    // Before a new walk, whose positions start again.
    void forget() { m_listings.clear(); }

private:
    static constexpr int window = 512; // a few milliseconds of listing

    void listFrom(int first, int lastFound, const std::function<QString(int)> &folderAt)
    {
        const int count = std::min(lastFound - first + 1, window);
        std::vector<QString> folders;
        folders.reserve(size_t(count));
        for (int position = first; position < first + count; ++position)
            folders.push_back(folderAt(position));
        m_first = first;
        m_listings.assign(size_t(count), std::nullopt);
        m_threads.forEach(count, [&](int i) { m_listings[size_t(i)] = listFolder(folders[size_t(i)], messageSuffix); });
    }

    WorkerThreads m_threads;
    std::vector<std::optional<FolderListing>> m_listings; // of the folders from position m_first on
    int m_first = 0;
};

pathLogger::pathLogger() = default;
pathLogger::~pathLogger() = default;

void pathLogger::setListingJobs(int jobs)
{
    m_ahead = jobs > 1 ? std::make_unique<FolderListingsAhead>(jobs) : nullptr;
}

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
    if (m_ahead)
        m_ahead->forget();
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
    const std::optional<FolderListing> listing =
        m_ahead ? m_ahead->take(position, *folderCount, [this](int at) { return m_pathNames->item(at); })
                : listFolder(folder, messageSuffix);
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
