#pragma once

#include <QString>
#include <QStringList>

// Each message of the mbox files or Maildirs at `paths` ("mbox" or "maildir"), read back by
// Python's own mailbox module, in the order of the files: "file<TAB>message bytes", where the
// file of a Maildir message is rebuilt from the flags Python read; with `withFlags`,
// "file<TAB>flags<TAB>message bytes", the flags as Python gives them (an mbox message's Status
// and X-Status letters, a Maildir message's info letters).
QStringList readBackByPython(const QString &kind, const QStringList &paths, bool withFlags = false);

// Why Dovecot's doveadm cannot read mailboxes back here (the reason a test skips), or empty.
QString dovecotMissing();

// Each message of `mailbox` ("INBOX", "Projects.sbd/Alpha") in the mbox files or Maildirs below
// `root`, read back by Dovecot's doveadm as a child process, no server running, in the order it
// keeps them: "flags<TAB>message text", the flags as Dovecot names them ("\Answered \Seen"; not
// \Recent, which only says that no session saw the message before). It
// reads a copy, since reading may rewrite a mailbox, as another user where this is root. One
// line "doveadm failed: ..." where it could not read.
QStringList readBackByDovecot(const QString &kind, const QString &root, const QString &mailbox);
