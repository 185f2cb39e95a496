#include "platform/ProcessSignals.h"

#include <csignal>

void setSharedSignalDispositions()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}
