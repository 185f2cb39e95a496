#pragma once

#include <functional>

// Runs `work` on a thread of its own while the calling thread's event loop turns, so that the
// window repaints and reacts however long the work takes. `look` is called on the calling thread
// every `intervalMs` (0: at every turn of the loop) while the work goes on, and once more after
// it. When the loop ends before the work (the program quits), `stopEarly` is called, then the
// work is waited for.
void runBesideEventLoop(const std::function<void()> &work, const std::function<void()> &look, int intervalMs,
                        const std::function<void()> &stopEarly);
