#include "app/BackgroundRun.h"

#include "app/BesideEventLoop.h"

#include <atomic>

namespace {

// What the run's thread and the window's thread hand each other.
struct Handover {
    std::atomic<bool> stop{false};
    std::atomic<int> scheme{0};
    std::atomic<quint64> progress{0}; // finished messages in the high half, the total in the low
};

quint64 packed(int done, int total)
{
    return (quint64(quint32(done)) << 32) | quint32(total);
}

} // namespace

RunReport convertAllInBackground(const MessageSources &sources, const RunOptions &options, const RunCallbacks &callbacks,
                                 int intervalMs)
{
    Handover handover;
    handover.scheme = int(options.scheme);
    RunOptions ownOptions = options; // the run's thread reads this one only
    RunCallbacks aside;
    aside.progress = [&handover](int done, int total) { handover.progress = packed(done, total); };
    aside.yield = [&handover, &ownOptions] { ownOptions.scheme = NamingScheme(handover.scheme.load()); };
    aside.outputReported = callbacks.outputReported; // on the run's thread
    aside.stopRequested = [&handover, &callbacks] {
        return handover.stop || (callbacks.stopRequested && callbacks.stopRequested());
    };

    RunReport report;
    quint64 shown = 0;
    const auto look = [&] {
        handover.scheme = int(options.scheme);
        const quint64 progress = handover.progress;
        if (progress != shown && callbacks.progress) {
            shown = progress;
            callbacks.progress(int(progress >> 32), int(progress & 0xFFFFFFFFu));
        }
    };
    runBesideEventLoop([&] { report = convertAll(sources, ownOptions, aside); }, look, qMax(1, intervalMs),
                       [&handover] { handover.stop = true; });
    return report;
}
