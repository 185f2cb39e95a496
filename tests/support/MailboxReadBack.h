#pragma once

#include <QString>
#include <QStringList>

// Each message of the mbox files or Maildirs at `paths` ("mbox" or "maildir"), read back by
// Python's own mailbox module, in the order of the files: "file<TAB>message bytes", where the
// file of a Maildir message is rebuilt from the flags Python read.
QStringList readBackByPython(const QString &kind, const QStringList &paths);
