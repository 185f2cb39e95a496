#include "platform/WorkerThreads.h"

#include <algorithm>

WorkerThreads::WorkerThreads(int jobs, std::function<bool()> stop) : m_stop(std::move(stop))
{
    for (int i = 1; i < jobs; ++i)
        m_threads.emplace_back([this] { serve(); });
}

WorkerThreads::~WorkerThreads()
{
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_ending = true;
    }
    m_itemsWaiting.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

WorkerThreads::Ticket WorkerThreads::start(int count, std::function<void(int)> work)
{
    Ticket ticket = 0;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        ticket = ++m_lastTicket;
        // About eight shares for each thread, so that they end the batch together: a thread that
        // is through waits for the others' last share.
        const int chunk = std::clamp(count / (8 * int(m_threads.size() + 1)), 1, 16);
        m_batches.push_back(Batch{ticket, std::move(work), count, 0, chunk});
    }
    if (!m_threads.empty()) {
        m_itemsWaiting.notify_all();
        m_itemDone.notify_all(); // a caller waiting for its batch helps with this one
    }
    return ticket;
}

void WorkerThreads::finish(Ticket ticket)
{
    std::unique_lock<std::mutex> lock(m_lock);
    const auto batch = std::find_if(m_batches.begin(), m_batches.end(),
                                    [ticket](const Batch &started) { return started.ticket == ticket; });
    if (batch == m_batches.end())
        return;
    while (runNextItems(*batch, lock)) {
    }
    // While the last items are under way on other threads, the caller helps with later batches.
    while (batch->busy != 0) {
        Batch *other = oldestWithItems();
        if (!other || !runNextItems(*other, lock))
            m_itemDone.wait(lock, [&] { return batch->busy == 0 || oldestWithItems() != nullptr; });
    }
    m_batches.erase(batch);
}

WorkerThreads::Batch *WorkerThreads::oldestWithItems()
{
    for (Batch &batch : m_batches)
        if (!batch.taken())
            return &batch;
    return nullptr;
}

bool WorkerThreads::runNextItems(Batch &batch, std::unique_lock<std::mutex> &lock)
{
    if (batch.taken())
        return false;
    if (m_stop && m_stop()) {
        batch.next = batch.count;
        return false;
    }
    const int first = batch.next;
    const int end = std::min(first + batch.chunk, batch.count);
    batch.next = end;
    ++batch.busy;
    lock.unlock();
    for (int index = first; index < end && (index == first || !m_stop || !m_stop()); ++index)
        batch.work(index);
    lock.lock();
    if (--batch.busy == 0 && batch.taken())
        m_itemDone.notify_all();
    return true;
}

void WorkerThreads::serve()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        Batch *batch = nullptr;
        m_itemsWaiting.wait(lock, [&] { return m_ending || (batch = oldestWithItems()) != nullptr; });
        if (m_ending)
            return;
        runNextItems(*batch, lock);
    }
}
