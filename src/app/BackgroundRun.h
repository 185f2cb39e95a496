#pragma once

#include "convert/ConversionRun.h"

// Runs convertAll on a thread of its own while the window's event loop turns, so that the
// window repaints and reacts however long one message takes, and every core can convert.
// `progress` is called on the window's thread, with the run's latest count of finished
// messages (in list order) at each look; a look is taken every `intervalMs`. `options.scheme`
// is read at each look too: the run names the messages of its next batch after the scheme
// selected then. `stopRequested` is asked on the run's threads, so that a stop is seen at once:
// it must be safe to call there, as must `outputReported`, which is called there.
RunReport convertAllInBackground(const MessageSources &sources, const RunOptions &options, const RunCallbacks &callbacks,
                                 int intervalMs);
