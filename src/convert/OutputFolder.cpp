#include "convert/OutputFolder.h"
#include "convert/NamedRows.h"

#include "convert/OutputNaming.h"
#include "platform/PathHelpers.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>

#include <optional>

namespace {

const QStringList mailboxSuffixes{QStringLiteral(".mbox"), QStringLiteral(".imapmbox")};

// The mailbox name of a folder ("Projects.mbox" -> "Projects"); empty when it is no mailbox.
std::optional<QString> mailboxName(const QString &folderName)
{
    for (const QString &suffix : mailboxSuffixes)
        if (folderName.endsWith(suffix, Qt::CaseInsensitive))
            return folderName.chopped(suffix.size());
    return std::nullopt;
}

// A name as one step of a path. A name of dots and blanks only ("", ".", "..", "...") would stay
// in its folder or climb out of it, so each of its characters becomes '_' ("" becomes "_"); no
// name is one that Windows keeps for itself.
QString usableFolderName(const QString &name)
{
    for (const QChar c : name)
        if (c != u'.' && !c.isSpace())
            return notReservedName(name);
    return name.isEmpty() ? QStringLiteral("_") : QString(name.size(), u'_');
}

bool holdsMailboxes(const QString &folder)
{
    QStringList patterns;
    for (const QString &suffix : mailboxSuffixes)
        patterns << u'*' + suffix;
    return !QDir(folder)
                .entryList(patterns, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks)
                .isEmpty();
}

bool storeHoldsSeveralAccounts(const QString &store)
{
    int accounts = 0;
    const QDir dir(store);
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks))
        if (holdsMailboxes(dir.filePath(name)) && ++accounts > 1)
            return true;
    return false;
}

} // namespace

std::optional<OutputLayout> layoutFromName(const QString &name)
{
    const OutputLayoutRow *row = rowNamed(outputLayouts, name);
    return row ? std::optional(row->layout) : std::nullopt;
}

QStringList layoutNames()
{
    return rowNames(outputLayouts);
}

OutputFolder outputFolderBelowDestination(const QString &absoluteSource, OutputLayout layout, bool accountLevel)
{
    const QString folder = GetFolderPart(absoluteSource);
    if (layout == OutputLayout::Mirror)
        return {dropPathRoot(QString(folder).replace(QStringLiteral(".emlx"), QStringLiteral(".eml"))), {}};
    OutputFolder result;
    if (accountLevel) {
        const QString account = accountFolderOf(absoluteSource);
        if (!account.isEmpty())
            result.path = usableFolderName(GetFileNamePart(account)) + u'/';
    }
    QString walked = folder.startsWith(u'/') ? QStringLiteral("/") : QString();
    for (const QString &part : folder.split(u'/', Qt::SkipEmptyParts)) {
        walked += part + u'/';
        const std::optional<QString> mailbox = mailboxName(part);
        if (!mailbox)
            continue;
        const QString name = usableFolderName(*mailbox);
        if (name != *mailbox)
            result.warning = QStringLiteral("the mailbox %1 has no name that can be a folder; "
                                            "its messages go into the folder \"%2\"")
                                 .arg(quotedPath(walked.chopped(1)), name);
        result.path += name + u'/';
    }
    return result;
}

QString accountFolderOf(const QString &absoluteSource)
{
    static const QRegularExpression store(QStringLiteral("^V[0-9]+$"));
    const QStringList parts = absoluteSource.split(u'/');
    // The last "V<n>" followed by an account folder, a mailbox and something inside it.
    for (qsizetype i = parts.size() - 4; i >= 0; --i)
        if (store.match(parts[i]).hasMatch() && mailboxName(parts[i + 2]))
            return parts.mid(0, i + 2).join(u'/');
    return {};
}

QString storePlaceOf(const QString &absoluteSource)
{
    const QString account = accountFolderOf(absoluteSource);
    QStringList place;
    if (!account.isEmpty())
        place << GetFileNamePart(account);
    const QStringList parts = absoluteSource.mid(account.size()).split(u'/', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i + 1 < parts.size(); ++i)
        if (mailboxName(parts[i]))
            place << parts[i];
    place << parts.value(parts.size() - 1);
    return place.join(u'/');
}

bool needsAccountLevel(const QStringList &absoluteSources)
{
    QSet<QString> accounts;
    for (const QString &source : absoluteSources) {
        const QString account = accountFolderOf(source);
        if (!account.isEmpty())
            accounts.insert(account);
        if (accounts.size() > 1)
            return true;
    }
    return accounts.size() == 1 && storeHoldsSeveralAccounts(GetFolderPart(*accounts.cbegin()));
}

