#pragma once

#include "platform/SystemCalls.h"

#include <QByteArray>

// Folders kept open while a thread reads or makes files in them: a file is then opened by its own
// name relative to its folder's descriptor, not by its whole path walked again, and a folder is
// reached from the one before it one step at a time. One chain of open folders per thread for
// sources and one for outputs.
enum class FolderSteps {
    LinksFollowed, // a source's folders, as the system walks any path
    NoLinks,       // an output's folders below the destination: a link on the way is refused (ELOOP)
};

#if EMLX_POSIX_IO
// A descriptor of `folder` (a clean absolute path, '/' separators), opened from `top` step by step;
// `folder` must be `top` or lie below it. Kept open for the calling thread until it asks for a
// folder elsewhere or forgetOpenFolders() is called; not to be closed by the caller. -1 with errno
// set when it cannot be opened (ELOOP: a step below `top` is a link, with FolderSteps::NoLinks).
int openFolder(const QByteArray &top, const QByteArray &folder, FolderSteps steps);
#endif

// Every thread lets its open folders go before it next opens one: what a run made or removed
// since then is looked up afresh. Called as a run starts.
void forgetOpenFolders();
