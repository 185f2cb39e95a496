#include "app/BesideEventLoop.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <thread>

void runBesideEventLoop(const std::function<void()> &work, const std::function<void()> &look, int intervalMs,
                        const std::function<void()> &stopEarly)
{
    std::atomic<bool> finished{false};
    QEventLoop loop;
    std::thread worker([&] {
        work();
        finished = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QTimer looks;
    looks.setInterval(intervalMs);
    QObject::connect(&looks, &QTimer::timeout, &loop, look);
    looks.start();
    if (!finished)
        loop.exec();
    looks.stop();
    if (!finished)
        stopEarly();
    worker.join();
    look();
}
