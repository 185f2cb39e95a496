#include "convert/RunWorkers.h"

RunWorkers::RunWorkers(int jobs)
{
    for (int i = 1; i < jobs; ++i)
        m_threads.emplace_back([this] { serve(); });
}

RunWorkers::~RunWorkers()
{
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_ending = true;
    }
    m_batchStarted.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void RunWorkers::forEach(int count, const std::function<void(int)> &work, const std::function<bool()> &stop)
{
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_work = &work;
        m_stop = &stop;
        m_count = count;
        m_next = 0;
        m_busy = int(m_threads.size());
        ++m_batch;
    }
    if (!m_threads.empty())
        m_batchStarted.notify_all();
    takeItems();
    std::unique_lock<std::mutex> lock(m_lock);
    m_batchDone.wait(lock, [this] { return m_busy == 0; });
    m_work = nullptr;
    m_stop = nullptr;
}

void RunWorkers::takeItems()
{
    for (int index = m_next++; index < m_count && !(*m_stop)(); index = m_next++)
        (*m_work)(index);
}

void RunWorkers::serve()
{
    unsigned taken = 0;
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_batchStarted.wait(lock, [&] { return m_ending || m_batch != taken; });
        if (m_ending)
            return;
        taken = m_batch;
        lock.unlock();
        takeItems();
        lock.lock();
        if (--m_busy == 0)
            m_batchDone.notify_one();
    }
}
