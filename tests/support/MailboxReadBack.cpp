#include "MailboxReadBack.h"

#include "ChildProcess.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// Reads mbox files or Maildirs with Python's own mailbox module: one line per message, the file it
// lies in (an mbox file, or the Maildir file rebuilt from the flags Python read), its flags and its
// bytes.
const char *const readBackScript = R"(
import base64, mailbox, os, sys
kind = sys.argv[1]
for path in sys.argv[2:]:
    if kind == 'mbox':
        box = mailbox.mbox(path, create=False)
        for key in box.keys():
            print(path, box.get_message(key).get_flags() or '-', base64.b64encode(box.get_bytes(key)).decode())
    else:
        box = mailbox.Maildir(path, create=False)
        for key in box.keys():
            message = box.get_message(key)
            name = os.path.join(path, message.get_subdir(), key + ':2,' + message.get_flags())
            print(name, message.get_flags() or '-', base64.b64encode(box.get_bytes(key)).decode())
)";

// The user that doveadm runs as where this is root, which Dovecot refuses mail to.
constexpr int unprivilegedId = 65534;

bool runningAsRoot()
{
#ifdef Q_OS_UNIX
    return ::geteuid() == 0;
#else
    return false;
#endif
}

// The user and group that doveadm reads as.
QPair<QString, QString> readingUser()
{
#ifdef Q_OS_UNIX
    if (!runningAsRoot())
        return {QString::number(::getuid()), QString::number(::getgid())};
#endif
    return {QString::number(unprivilegedId), QString::number(unprivilegedId)};
}

} // namespace

QStringList readBackByPython(const QString &kind, const QStringList &paths, bool withFlags)
{
    QProcess python;
    python.start(QStringLiteral("python3"), QStringList{"-c", readBackScript, kind} + paths);
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return {"python3 failed: " + QString::fromLocal8Bit(python.readAllStandardError())};
    QStringList messages;
    for (const QByteArray &line : python.readAllStandardOutput().split('\n')) {
        const qsizetype bytesAt = line.lastIndexOf(' ');
        const qsizetype flagsAt = line.lastIndexOf(' ', bytesAt - 1);
        if (flagsAt <= 0)
            continue;
        const QByteArray flags = line.mid(flagsAt + 1, bytesAt - flagsAt - 1);
        messages << QString::fromUtf8(line.left(flagsAt)) + '\t' +
                        (withFlags ? QString::fromUtf8(flags == "-" ? QByteArray() : flags) + '\t' : QString()) +
                        QString::fromUtf8(QByteArray::fromBase64(line.mid(bytesAt + 1)));
    }
    return messages;
}

QString dovecotMissing()
{
    if (QStandardPaths::findExecutable(QStringLiteral("doveadm")).isEmpty())
        return QStringLiteral("Dovecot's doveadm is not installed (scripts/install-deps installs dovecot-core)");
    if (runningAsRoot() && QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        return QStringLiteral("running as root without setpriv, and Dovecot refuses mail to root");
    return {};
}

QStringList readBackByDovecot(const QString &kind, const QString &root, const QString &mailbox)
{
    QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("mail"));
    const QString config = scratch.filePath(QStringLiteral("dovecot.conf"));
    QFile(config).open(QIODevice::WriteOnly);
    const bool asRoot = runningAsRoot();
    if (runChild(QStringLiteral("cp"), {"-R", root, copy}, 60000).exitCode != 0)
        return {QStringLiteral("doveadm failed: cannot copy %1").arg(root)};
    if (asRoot) {
        const QString owner = QStringLiteral("%1:%1").arg(unprivilegedId);
        runChild(QStringLiteral("chown"), {"-R", owner, scratch.path()}, 60000);
        QFile::setPermissions(scratch.path(), QFile::permissions(scratch.path()) | QFileDevice::ExeOther);
    }
    const QString location = kind == QLatin1String("mbox")
                                 ? QStringLiteral("mbox:%1:INBOX=%1/Inbox:UTF-8").arg(copy)
                                 : QStringLiteral("maildir:%1:LAYOUT=fs:INBOX=%1/INBOX:UTF-8").arg(copy);
    const auto [id, group] = readingUser();
    QStringList arguments{"-c", config, "-f", "pager"};
    for (const QString &setting : {"mail_location=" + location, "mail_uid=" + id, "mail_gid=" + group,
                                   QStringLiteral("first_valid_uid=0"), QStringLiteral("first_valid_gid=0")})
        arguments << QStringLiteral("-o") << setting;
    arguments << QStringLiteral("fetch") << QStringLiteral("flags text") << QStringLiteral("mailbox") << mailbox
              << QStringLiteral("all");
    QString program = QStringLiteral("doveadm");
    if (asRoot) {
        arguments = QStringList{"--reuid=" + id, "--regid=" + group, "--clear-groups", program} + arguments;
        program = QStringLiteral("setpriv");
    }
    QProcess doveadm;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), scratch.path());
    environment.insert(QStringLiteral("USER"), QStringLiteral("mail-reader"));
    doveadm.setProcessEnvironment(environment);
    doveadm.start(program, arguments);
    const ChildResult read = waitForChild(doveadm, 60000);
    if (!read.finished || read.exitCode != 0 || !read.errors.isEmpty())
        return {"doveadm failed: " + read.errors};
    // The pager format: "flags: ...\ntext:\n<the message>" for each message, a form feed line between.
    QStringList messages;
    for (const QByteArray &record : read.output.split('\f')) {
        const QByteArray fields = record.startsWith('\n') ? record.mid(1) : record;
        if (!fields.startsWith("flags:"))
            continue;
        const qsizetype textAt = fields.indexOf("\ntext:\n");
        QStringList flags = QString::fromUtf8(fields.mid(6, textAt - 6)).split(u' ', Qt::SkipEmptyParts);
        flags.removeAll(QStringLiteral("\\Recent"));
        messages << flags.join(u' ') + '\t' + QString::fromUtf8(fields.mid(textAt + 7));
    }
    return messages;
}
