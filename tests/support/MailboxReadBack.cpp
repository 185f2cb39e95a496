#include "MailboxReadBack.h"

#include <QProcess>

namespace {

// Reads mbox files or Maildirs with Python's own mailbox module: one line per message, the file it
// lies in (an mbox file, or the Maildir file rebuilt from the flags Python read) and its bytes.
const char *const readBackScript = R"(
import base64, mailbox, os, sys
kind = sys.argv[1]
for path in sys.argv[2:]:
    if kind == 'mbox':
        box = mailbox.mbox(path, create=False)
        for key in box.keys():
            print(path, base64.b64encode(box.get_bytes(key)).decode())
    else:
        box = mailbox.Maildir(path, create=False)
        for key in box.keys():
            message = box.get_message(key)
            name = os.path.join(path, message.get_subdir(), key + ':2,' + message.get_flags())
            print(name, base64.b64encode(box.get_bytes(key)).decode())
)";

} // namespace

QStringList readBackByPython(const QString &kind, const QStringList &paths)
{
    QProcess python;
    python.start(QStringLiteral("python3"), QStringList{"-c", readBackScript, kind} + paths);
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return {"python3 failed: " + QString::fromLocal8Bit(python.readAllStandardError())};
    QStringList messages;
    for (const QByteArray &line : python.readAllStandardOutput().split('\n'))
        if (const qsizetype space = line.lastIndexOf(' '); space > 0)
            messages << QString::fromUtf8(line.left(space)) + '\t' +
                            QString::fromUtf8(QByteArray::fromBase64(line.mid(space + 1)));
    return messages;
}
