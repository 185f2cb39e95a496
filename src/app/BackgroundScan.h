#pragma once

#include "list/FolderScan.h"

#include <QStringList>

#include <functional>

// Walks a folder tree with scanForMessageFiles on a thread of its own while the window's event
// loop turns, so that no wait on a slow folder listing stalls the window. `look` is called on the
// window's thread about every `intervalMs` with the message files found since the last look (in
// walk order) and the number of folders found so far; it is not called after `stopRequested`
// says true. `stopRequested` is asked on the walk's thread too: it must be safe to call there.
// With `intervalMs` 0 the walk waits at each of its steps until the window has looked, so that a
// test sees every step, as the walk on the window's own thread showed them.
FolderScanResult scanInBackground(const QString &folder, const std::function<bool()> &stopRequested,
                                  const std::function<void(const QStringList &found, qsizetype folders)> &look,
                                  int intervalMs);
