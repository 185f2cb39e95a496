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
// several threads: while the walk takes one window's listings in its own order, the threads list
// the next window, as far as the walk has found folders.
class FolderListingsAhead
{
public:
    explicit FolderListingsAhead(int jobs) : m_threads(jobs, {}) {}
    ~FolderListingsAhead() { forget(); }
    FolderListingsAhead(const FolderListingsAhead &) = delete;
    FolderListingsAhead &operator=(const FolderListingsAhead &) = delete;

    // The listing of the folder at `position`; `folderAt` names the folders found so far, up to
    // `lastFound`.
    std::optional<FolderListing> take(int position, int lastFound, const std::function<QString(int)> &folderAt)
    {
        if (!holds(m_current, position)) {
            if (holds(m_next, position)) {
                m_threads.finish(m_next->listing);
                m_current = std::move(m_next);
            } else {
                forget();
                m_current = startListing(position, lastFound, folderAt);
                m_threads.finish(m_current->listing);
            }
        }
        const int end = m_current->first + int(m_current->folders.size());
        if (!m_next && end <= lastFound)
            m_next = startListing(end, lastFound, folderAt);
        return std::move(m_current->listings[size_t(position - m_current->first)]);
    }

    // Drops the listings made so far: a new walk's positions start again.
    void forget()
    {
        if (m_next)
            m_threads.finish(m_next->listing);
        m_next.reset();
        m_current.reset();
    }

private:
    static constexpr int window = 512; // a few milliseconds of listing

    struct Window {
        int first = 0;
        std::vector<QString> folders;
        std::vector<std::optional<FolderListing>> listings;
        WorkerThreads::Ticket listing = 0;
    };

    static bool holds(const std::unique_ptr<Window> &window, int position)
    {
        return window && position >= window->first && position < window->first + int(window->folders.size());
    }

    std::unique_ptr<Window> startListing(int first, int lastFound, const std::function<QString(int)> &folderAt)
    {
        auto listed = std::make_unique<Window>();
        const int count = std::min(lastFound - first + 1, window);
        listed->first = first;
        listed->folders.reserve(size_t(count));
        for (int position = first; position < first + count; ++position)
            listed->folders.push_back(folderAt(position));
        listed->listings.resize(size_t(count));
        Window *filled = listed.get(); // stays in place until the listing is finished
        listed->listing = m_threads.start(count, [filled](int i) {
            filled->listings[size_t(i)] = listFolder(filled->folders[size_t(i)], messageSuffix);
        });
        return listed;
    }

    WorkerThreads m_threads;
    std::unique_ptr<Window> m_current; // listed; the walk takes from it
    std::unique_ptr<Window> m_next;    // under way, or none
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
