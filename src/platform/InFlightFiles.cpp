#include "platform/InFlightFiles.h"

#include "platform/SystemCalls.h"

#include <QFile>

#include <atomic>
#include <cstring>

// fstat and unlink are POSIX, not Linux-only, so the portable build keeps them: its fallback
// would name Qt's unnamed temporary files early (asking for the name gives one) and leave them.
#if EMLX_UNIX_CALLS
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Fixed slots, so that the signal handler reads plain memory: no allocation, no lock.
constexpr int slotCount = 512; // above the largest number of jobs
constexpr int pathLimit = 4096;
enum SlotState : int { Free, Filling, Ready };

struct Slot {
    std::atomic<int> state{Free};
    char path[pathLimit];
};
Slot slots[slotCount];

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free flags");

bool hasName(QFileDevice &file)
{
#if EMLX_UNIX_CALLS
    struct stat status = {};
    return ::fstat(file.handle(), &status) != 0 || status.st_nlink > 0;
#else
    Q_UNUSED(file);
    return true;
#endif
}

} // namespace

InFlightFile::InFlightFile(QFileDevice &temporary)
{
    // Asking an unnamed file for its name would give it one; it needs none to vanish.
    if (hasName(temporary))
        keep(temporary.fileName());
}

InFlightFile::InFlightFile(const QString &temporaryPath)
{
    keep(temporaryPath);
}

void InFlightFile::keep(const QString &temporaryPath)
{
    const QByteArray path = QFile::encodeName(temporaryPath);
    if (path.isEmpty() || path.size() >= pathLimit)
        return;
    for (int i = 0; i < slotCount; ++i) {
        int expected = Free;
        if (slots[i].state.compare_exchange_strong(expected, Filling)) {
            std::memcpy(slots[i].path, path.constData(), size_t(path.size()) + 1);
            slots[i].state = Ready;
            m_slot = i;
            return;
        }
    }
}

InFlightFile::~InFlightFile()
{
    if (m_slot >= 0)
        slots[m_slot].state = Free;
}

void removeInFlightFiles()
{
#if EMLX_UNIX_CALLS
    for (Slot &slot : slots)
        if (slot.state.load() == Ready)
            ::unlink(slot.path);
#endif
}
