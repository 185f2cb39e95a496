#pragma once

#include "list/KeyedList.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

// Walks a folder tree breadth first: the root, then its sub-folders in name order, then
// theirs, and so on. Records every folder (pathNames, ending in '/') and every file
// (fullFileNames; in the full mode also fileNames and pathPointers). Links to folders are
// not followed, so a link back into the tree cannot make the walk endless, and are named in
// linkedFolders(); a folder that cannot be listed is skipped and named in unreadableFolders().
// Only regular files (links followed) count as files: named pipes, sockets and devices are
// named in specialFiles() instead, so that nobody tries to read them.
class FolderListingsAhead;

class pathLogger
{
public:
    pathLogger();
    ~pathLogger();
    pathLogger(const pathLogger &) = delete;
    pathLogger &operator=(const pathLogger &) = delete;

    // With more than one job, folders are listed ahead of the walk on that many threads, a window
    // of the folders found so far at a time; the walk still takes them one by one, in its order.
    void setListingJobs(int jobs);
    // Called between steps of a long walk; the window lets its event loop run there.
    void setYield(std::function<void()> yield) { m_yield = std::move(yield); }
    // Asked after each yield; true ends the walk at once (LogPath then returns false).
    void setStopRequested(std::function<bool()> stop) { m_stop = std::move(stop); }
    // With this set, each file found is handed over (its folder, ending in '/', and its name)
    // instead of being recorded: a walk of a million files keeps none of them.
    void setFileFound(std::function<void(const QString &folder, const QString &name)> found)
    {
        m_fileFound = std::move(found);
    }
    bool stopped() const { return m_stopped; }

    // Prepares a walk: switches to recording full file names only and drops earlier lists.
    void PathLogInit();
    // False when the path is no folder (nothing is logged) or a key was taken already
    // (LogPath again without PathLogInit).
    bool LogPath(const QString &path);
    // One more than the number of files logged by the last walk.
    int Count() const { return m_counter; }
    void Terminate();

    bool fullFileNamesOnly = false;

    const KeyedList<QString> &fileNames() { return list(m_fileNames); }
    const KeyedList<QString> &pathNames() { return list(m_pathNames); }
    const KeyedList<int> &pathPointers() { return list(m_pathPointers); }
    const KeyedList<QString> &fullFileNames() { return list(m_fullFileNames); }
    const QStringList &unreadableFolders() const { return m_unreadable; }
    // Files whose names the platform cannot hand over as text (not valid UTF-8 on Linux),
    // with the bad bytes written as \xNN; they are not in the file lists.
    const QStringList &unusableFileNames() const { return m_unusable; }
    // Folders whose names are no valid UTF-8 (escaped as above), each with the number of files
    // ending in ".emlx" anywhere below it: Qt cannot name them, so the walk cannot enter them.
    const QList<std::pair<QString, int>> &unusableFolders() const { return m_unusableFolders; }
    const QStringList &linkedFolders() const { return m_linkedFolders; }
    const QStringList &specialFiles() const { return m_special; }

private:
    template <typename T>
    static const KeyedList<T> &list(std::unique_ptr<KeyedList<T>> &owned)
    {
        if (!owned)
            owned = std::make_unique<KeyedList<T>>();
        return *owned;
    }
    template <typename T>
    static KeyedList<T> &writable(std::unique_ptr<KeyedList<T>> &owned)
    {
        list(owned);
        return *owned;
    }
    // Lets the caller's events run; false when the caller wants the walk to end.
    bool yield()
    {
        if (m_stopped)
            return false;
        if (m_yield)
            m_yield();
        m_stopped = m_stop && m_stop();
        return !m_stopped;
    }
    void dropLists();
    bool logFolder(int position, int *folderCount);
    bool logFile(const QString &folder, const QString &name, int position);

    std::unique_ptr<FolderListingsAhead> m_ahead; // none with one job
    std::function<void()> m_yield;
    std::function<bool()> m_stop;
    std::function<void(const QString &, const QString &)> m_fileFound;
    bool m_stopped = false;
    int m_counter = 0;
    std::unique_ptr<KeyedList<QString>> m_fileNames;
    std::unique_ptr<KeyedList<int>> m_pathPointers;
    std::unique_ptr<KeyedList<QString>> m_pathNames;
    std::unique_ptr<KeyedList<QString>> m_fullFileNames;
    QStringList m_unreadable;
    QStringList m_unusable;
    QList<std::pair<QString, int>> m_unusableFolders;
    QStringList m_linkedFolders;
    QStringList m_special;
};
