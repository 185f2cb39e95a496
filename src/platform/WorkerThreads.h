#pragma once

#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

// Threads started once for a long piece of work: a run's reads and writes, a walk's listings.
// Work comes in batches (a bounded share of the list), the oldest batch first; a batch goes on
// while its caller does other work, and the caller takes its items too when it waits for it. A
// thread takes a few neighbouring items at a time: a run's neighbours mostly share their folders,
// which each thread keeps open (OpenFolders). Once `stop` says so (asked before each item), the
// items not begun are dropped.
class WorkerThreads
{
public:
    using Ticket = unsigned;

    WorkerThreads(int jobs, std::function<bool()> stop); // jobs - 1 threads besides the caller's
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads &) = delete;
    WorkerThreads &operator=(const WorkerThreads &) = delete;

    // Hands out work(0) ... work(count - 1), each once, and returns at once.
    Ticket start(int count, std::function<void(int)> work);
    // Takes the batch's items that no thread has begun, then waits until no thread works on it,
    // meanwhile taking items of later batches.
    void finish(Ticket ticket);
    void forEach(int count, std::function<void(int)> work) { finish(start(count, std::move(work))); }

private:
    struct Batch {
        Ticket ticket = 0;
        std::function<void(int)> work;
        int count = 0;
        int next = 0;  // the first item not yet taken
        int chunk = 1; // items taken at a time
        int busy = 0;  // threads at work on the batch
        bool taken() const { return next >= count; }
    };

    void serve();
    Batch *oldestWithItems();
    // Runs the batch's next items with the lock let go; true when there were any.
    bool runNextItems(Batch &batch, std::unique_lock<std::mutex> &lock);

    const std::function<bool()> m_stop;
    std::vector<std::thread> m_threads;
    std::mutex m_lock;
    std::condition_variable m_itemsWaiting;
    std::condition_variable m_itemDone;
    std::list<Batch> m_batches; // started and not yet finished, oldest first
    Ticket m_lastTicket = 0;
    bool m_ending = false;
};
