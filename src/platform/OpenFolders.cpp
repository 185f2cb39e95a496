#include "platform/OpenFolders.h"

#include <atomic>
#include <cerrno>
#include <utility>
#include <vector>

#if EMLX_POSIX_IO
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

std::atomic<unsigned> currentRound{0};

#if EMLX_POSIX_IO
// The folders from a top down to the last folder asked for, each open, each step's path kept.
class FolderChain
{
public:
    FolderChain() = default;
    FolderChain(const FolderChain &) = delete;
    FolderChain &operator=(const FolderChain &) = delete;
    ~FolderChain() { closeFrom(0); }

    int open(const QByteArray &top, const QByteArray &folder, FolderSteps steps)
    {
        if (m_round != currentRound.load() || m_steps.empty() || m_steps.front().path != top) {
            closeFrom(0);
            m_round = currentRound.load();
            const int handle = ::open(top.constData(), folderFlags(FolderSteps::LinksFollowed));
            if (handle < 0)
                return -1;
            m_steps.push_back({top, handle});
        }
        if (!lies(folder, top)) {
            errno = EXDEV;
            return -1;
        }
        // The deepest folder of the chain that `folder` is or lies below; the rest let go.
        size_t keep = m_steps.size();
        while (keep > 1 && !lies(folder, m_steps[keep - 1].path))
            --keep;
        closeFrom(keep);
        qsizetype from = m_steps.back().path.size();
        while (from < folder.size()) {
            if (folder[from] == '/')
                ++from;
            const qsizetype end = folder.indexOf('/', from) < 0 ? folder.size() : folder.indexOf('/', from);
            const QByteArray name = folder.mid(from, end - from);
            if (steps == FolderSteps::NoLinks && (name == "." || name == "..")) {
                errno = EINVAL;
                return -1;
            }
            const int handle = ::openat(m_steps.back().handle, name.constData(), folderFlags(steps));
            if (handle < 0) {
                // A link opened without being followed as a folder says "not a folder".
                if (steps == FolderSteps::NoLinks && errno == ENOTDIR && isLink(m_steps.back().handle, name))
                    errno = ELOOP;
                return -1;
            }
            m_steps.push_back({folder.left(end), handle});
            from = end;
        }
        return m_steps.back().handle;
    }

private:
    struct Step {
        QByteArray path;
        int handle = -1;
    };

    // Whether `path` is `folder` or lies below it.
    static bool lies(const QByteArray &path, const QByteArray &folder)
    {
        if (!path.startsWith(folder))
            return false;
        return path.size() == folder.size() || folder.endsWith('/') || path[folder.size()] == '/';
    }

    static int folderFlags(FolderSteps steps)
    {
#ifdef O_PATH
        int flags = O_PATH | O_DIRECTORY | O_CLOEXEC; // needs no right to list the folder
#else
        int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif
        if (steps == FolderSteps::NoLinks)
            flags |= O_NOFOLLOW;
        return flags;
    }

    static bool isLink(int folder, const QByteArray &name)
    {
        char target[1];
        return ::readlinkat(folder, name.constData(), target, sizeof target) >= 0;
    }

    void closeFrom(size_t index)
    {
        while (m_steps.size() > index) {
            ::close(m_steps.back().handle);
            m_steps.pop_back();
        }
    }

    std::vector<Step> m_steps;
    unsigned m_round = 0;
};

thread_local FolderChain sourceFolders;
thread_local FolderChain outputFolders;
#endif

} // namespace

#if EMLX_POSIX_IO
int openFolder(const QByteArray &top, const QByteArray &folder, FolderSteps steps)
{
    return (steps == FolderSteps::NoLinks ? outputFolders : sourceFolders).open(top, folder, steps);
}
#endif

void forgetOpenFolders()
{
    ++currentRound;
}
