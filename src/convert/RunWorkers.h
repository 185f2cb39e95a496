#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The threads that read and write a run's messages, started once for the whole run: each batch
// (a bounded share of the list) is handed out to them item by item, and the run's own thread
// takes items too until the batch is through.
class RunWorkers
{
public:
    explicit RunWorkers(int jobs); // jobs - 1 threads besides the caller's
    ~RunWorkers();
    RunWorkers(const RunWorkers &) = delete;
    RunWorkers &operator=(const RunWorkers &) = delete;

    // Runs work(0) ... work(count - 1), each once, until `stop` says so (asked before each item);
    // returns when no thread works on the batch any more.
    void forEach(int count, const std::function<void(int)> &work, const std::function<bool()> &stop);

private:
    void serve();
    void takeItems();

    std::vector<std::thread> m_threads;
    std::mutex m_lock;
    std::condition_variable m_batchStarted;
    std::condition_variable m_batchDone;
    const std::function<void(int)> *m_work = nullptr;
    const std::function<bool()> *m_stop = nullptr;
    int m_count = 0;
    std::atomic<int> m_next{0};
    int m_busy = 0;          // threads still on the current batch
    unsigned m_batch = 0;    // counts batches, so that a thread takes each batch once
    bool m_ending = false;
};
