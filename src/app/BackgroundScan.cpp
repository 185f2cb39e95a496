#include "app/BackgroundScan.h"

#include "app/BesideEventLoop.h"

#include <condition_variable>
#include <mutex>

namespace {

// What the walk's thread hands the window's thread.
class Handover
{
public:
    explicit Handover(bool lockstep) : m_lockstep(lockstep) {}

    // On the walk's thread, for each file found.
    void found(const QString &file)
    {
        const std::lock_guard lock(m_mutex);
        m_found.append(file);
    }
    // On the walk's thread, at each of its steps; in lockstep, waits for the window's look.
    void stepped(qsizetype folders)
    {
        std::unique_lock lock(m_mutex);
        m_folders = folders;
        m_stepped = true;
        if (m_lockstep)
            m_looked.wait(lock, [this] { return !m_stepped || m_finished || m_stop; });
    }
    void finish()
    {
        const std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    void stop()
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_looked.notify_all();
    }
    bool stopped()
    {
        const std::lock_guard lock(m_mutex);
        return m_stop;
    }
    // On the window's thread: what was found since the last take, and the folders so far. In
    // lockstep, nothing until the walk has made its next step (or ended).
    bool take(QStringList *found, qsizetype *folders)
    {
        const std::lock_guard lock(m_mutex);
        if (m_lockstep && !m_stepped && !m_finished)
            return false;
        found->swap(m_found);
        m_found.clear();
        *folders = m_folders;
        m_stepped = false;
        m_looked.notify_all();
        return true;
    }

private:
    const bool m_lockstep;
    std::mutex m_mutex;
    std::condition_variable m_looked;
    QStringList m_found;
    qsizetype m_folders = 0;
    bool m_stepped = false;
    bool m_finished = false;
    bool m_stop = false;
};

} // namespace

FolderScanResult scanInBackground(const QString &folder, const std::function<bool()> &stopRequested,
                                  const std::function<void(const QStringList &found, qsizetype folders)> &look,
                                  int intervalMs)
{
    Handover handover(intervalMs == 0);
    const auto stop = [&] { return handover.stopped() || (stopRequested && stopRequested()); };
    FolderScanResult result;
    QStringList found;
    qsizetype folders = 0;
    const auto lookNow = [&] {
        if (stopRequested && stopRequested())
            handover.stop(); // a walk waiting for this look goes on, to its end
        else if (handover.take(&found, &folders))
            look(found, folders);
    };
    runBesideEventLoop(
        [&] {
            result = scanForMessageFiles(
                folder, {}, stop, [&](const QString &file) { handover.found(file); },
                [&](qsizetype walked) { handover.stepped(walked); });
            handover.finish();
        },
        lookNow, intervalMs, [&handover] { handover.stop(); });
    return result;
}
