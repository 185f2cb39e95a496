#include "convert/SourceFolders.h"

#include "convert/OutputPaths.h"
#include "platform/PathHelpers.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

// The folder as the file system finds it, for comparing; empty when it does not exist.
QString resolvedFolder(const QString &folder)
{
    return QFileInfo(folder).canonicalFilePath().toCaseFolded();
}

// "/out/" as "/out", "/" as it is.
QString shownFolder(const QString &folder)
{
    return folder.size() > 1 && folder.endsWith(u'/') ? folder.chopped(1) : folder;
}

} // namespace

QString absoluteSourceOf(const QString &entry)
{
    return QDir::cleanPath(QFileInfo(QDir::fromNativeSeparators(entry)).absoluteFilePath());
}

SourceFolders::SourceFolders(const QStringList &entries)
{
    QSet<QString> seen;
    QStringView previous; // an entry's folder as listed: most lists hold a folder's files in a row
    for (const QString &entry : entries) {
        if (std::all_of(entry.cbegin(), entry.cend(), [](QChar c) { return c.isSpace(); }))
            continue;
        const qsizetype slash = QDir::separator() == u'/' ? entry.lastIndexOf(u'/')
                                                           : qMax(entry.lastIndexOf(u'/'), entry.lastIndexOf(u'\\'));
        const QStringView listed = QStringView(entry).left(slash + 1);
        if (!previous.isNull() && listed == previous)
            continue;
        previous = listed;
        const QString source = absoluteSourceOf(entry);
        const QString folder = GetFolderPart(source);
        if (seen.contains(folder))
            continue;
        seen.insert(folder);
        m_oneSourceEach.append(source);
        const QString resolved = resolvedFolder(folder);
        if (!resolved.isEmpty())
            m_holding.insert(resolved);
    }
}

QString SourceFolders::refusal(const RunOptions &options) const
{
    if (m_holding.isEmpty())
        return {};
    OutputPaths paths(options.destination, options.layout);
    paths.takeInSources(m_oneSourceEach);
    QStringList folders; // where the messages go, in list order
    for (const QString &source : m_oneSourceEach)
        folders.append(paths.folderFor(source).path);
    QStringList landing{paths.destination()};
    const QSet<QString> mailboxes(folders.cbegin(), folders.cend());
    for (const QString &folder : folders) {
        switch (options.format) {
        case OutputFormat::Eml:
            landing << folder;
            break;
        case OutputFormat::Maildir: // the Maildir's own folder gets its three
            landing << folder;
            for (const char *inner : {"cur/", "new/", "tmp/"})
                landing << folder + QLatin1String(inner);
            break;
        case OutputFormat::Mbox: { // nor may the file take the place of such a folder
            const QString mbox = mboxFileOf(folder, paths.destination(), mailboxes);
            landing << GetFolderPart(mbox) << mbox;
            break;
        }
        }
    }
    for (const QString &folder : landing) {
        const QString resolved = resolvedFolder(folder);
        if (!resolved.isEmpty() && m_holding.contains(resolved))
            return QStringLiteral("the destination %1 would put outputs beside the messages being converted, in %2; "
                                  "choose another folder")
                .arg(quotedPath(shownFolder(QDir::cleanPath(options.destination))), quotedPath(shownFolder(folder)));
    }
    return {};
}
