#include "convert/SourceFolders.h"

#include "convert/OutputPaths.h"
#include "convert/output/MessageOutput.h"
#include "convert/output/OutputFolders.h"
#include "platform/PathHelpers.h"
#include "platform/WorkerThreads.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Resolves the folders of a list: a folder that is no link is its parent, resolved once for all
// its sub-folders, and its own name, so that a store of many folders costs one look at each
// instead of a walk of every step of its path.
class FolderResolver
{
public:
    // The folder as the file system finds it (links resolved), case-folded for comparing; empty
    // when it does not exist.
    QString resolved(const QString &folder) { return resolvedCase(folder).toCaseFolded(); }

private:
    QString resolvedCase(const QString &folder)
    {
        const QString path = withoutTrailingSlash(folder);
        const auto known = m_known.constFind(path);
        if (known != m_known.cend())
            return *known;
        const QString parent = GetFolderPart(path);
        const QString name = GetFileNamePart(path);
        const bool hasParent = !parent.isEmpty() && !name.isEmpty() && parent != path;
        const QString resolvedParent = hasParent ? resolvedCase(parent) : QString();
        QString resolved;
        // Nothing lies below a folder that is not there (outputs not yet made): no look needed.
        if (hasParent && m_missing.contains(withoutTrailingSlash(parent))) {
            m_missing.insert(path);
        } else {
            const QFileInfo info(path);
            // The link's look first: a folder that is no link then needs no second look.
            if (!resolvedParent.isEmpty() && !info.isSymLink() && !info.isJunction() && info.isDir())
                resolved = withTrailingSlash(resolvedParent) + name;
            if (resolved.isEmpty())
                resolved = info.canonicalFilePath();
            if (resolved.isEmpty() && !info.exists() && !info.isSymLink())
                m_missing.insert(path);
        }
        m_known.insert(path, resolved);
        return resolved;
    }

    static QString withoutTrailingSlash(const QString &folder)
    {
        return folder.size() > 1 && folder.endsWith(u'/') && !isRoot(folder) ? folder.chopped(1) : folder;
    }

    // "/" or a drive's "C:/": "C:" alone would name the drive's current folder.
    static bool isRoot(const QString &folder)
    {
        return folder == u"/" || (folder.size() == 3 && folder[0].isLetter() && folder[1] == u':' && folder[2] == u'/');
    }

    QHash<QString, QString> m_known; // folder -> as the file system finds it, in its own letter case
    QSet<QString> m_missing;         // folders that are not there
};

// Where share `share` of `shares` of `count` items begins and ends.
std::pair<qsizetype, qsizetype> shareOf(qsizetype count, int share, int shares)
{
    return {count * share / shares, count * (share + 1) / shares};
}

// Share `share` of `shares` of the folders, resolved (empty where a folder is not there).
QStringList resolvedShare(const QStringList &folders, int share, int shares)
{
    FolderResolver resolver;
    QStringList resolved;
    const auto [from, to] = shareOf(folders.size(), share, shares);
    for (qsizetype at = from; at < to; ++at)
        resolved.append(resolver.resolved(folders.at(at)));
    return resolved;
}

// "/out/" as "/out", "/" as it is.
QString shownFolder(const QString &folder)
{
    return folder.size() > 1 && folder.endsWith(u'/') ? folder.chopped(1) : folder;
}

} // namespace

QString absoluteSourceOf(const QString &entry)
{
    const QString path = QDir::fromNativeSeparators(entry);
#ifndef Q_OS_WIN
    // A whole path only needs cleaning, as the scan's are already: no look at the working folder.
    if (path.startsWith(u'/'))
        return QDir::cleanPath(path);
#endif
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

SourceFolders::SourceFolders(const MessageSources &entries)
{
    hold(resolvedShare(collect(entries), 0, 1));
}

QString SourceFolders::refusalOf(const MessageSources &entries, const RunOptions &options, WorkerThreads &threads)
{
    SourceFolders sources;
    const QStringList folders = sources.collect(entries);
    // In shares of neighbouring folders, each with a resolver of its own: neighbours share most
    // of their path, which each share then looks at once.
    constexpr int shares = 16;
    std::vector<QStringList> resolved(shares);
    const WorkerThreads::Ticket resolving = threads.start(
        shares, [&](int share) { resolved[size_t(share)] = resolvedShare(folders, share, shares); });
    const Destination destination(options.destination);
    const QStringList landing = sources.landingFolders(options, destination);
    threads.finish(resolving);
    for (const QStringList &share : resolved)
        sources.hold(share);
    if (sources.m_holding.isEmpty())
        return {};
    std::vector<qsizetype> held(shares, -1);
    threads.forEach(shares, [&](int share) { held[size_t(share)] = sources.firstHeld(landing, share, shares); });
    for (const qsizetype at : held)
        if (at >= 0)
            return refusalText(landing.at(at), destination);
    return {};
}

QString SourceFolders::refusal(const RunOptions &options) const
{
    if (m_holding.isEmpty())
        return {};
    const Destination destination(options.destination);
    const QStringList landing = landingFolders(options, destination);
    const qsizetype at = firstHeld(landing, 0, 1);
    return at < 0 ? QString() : refusalText(landing.at(at), destination);
}

QStringList SourceFolders::collect(const MessageSources &entries)
{
    QStringList folders;
    QSet<QString> seen;
    QString previous; // an entry's folder as listed: most lists hold a folder's files in a row
    for (qsizetype index = 0; index < entries.count(); ++index) {
        const QString entry = entries.at(index);
        if (std::all_of(entry.cbegin(), entry.cend(), [](QChar c) { return c.isSpace(); }))
            continue;
        const qsizetype slash = QDir::separator() == u'/' ? entry.lastIndexOf(u'/')
                                                           : qMax(entry.lastIndexOf(u'/'), entry.lastIndexOf(u'\\'));
        const QStringView listed = QStringView(entry).left(slash + 1);
        if (!previous.isNull() && listed == previous)
            continue;
        previous = listed.toString();
        const QString source = absoluteSourceOf(entry);
        const QString folder = GetFolderPart(source);
        if (seen.contains(folder))
            continue;
        seen.insert(folder);
        m_oneSourceEach.append(source);
        folders.append(folder);
    }
    return folders;
}

void SourceFolders::hold(const QStringList &resolved)
{
    for (const QString &folder : resolved)
        if (!folder.isEmpty())
            m_holding.insert(folder);
}

// Where the run's writer, planning only, puts each folder's messages, and the destination itself.
QStringList SourceFolders::landingFolders(const RunOptions &options, const Destination &destination) const
{
    RunOptions planning = options;
    planning.dryRun = true;
    planning.update = false;
    std::unique_ptr<MessageOutput> output;
    OutputPaths paths(destination, options.layout,
                      [&output](const QString &folder) { return output && output->reservesFolder(folder); });
    OutputFolders folders(destination, true, false);
    output = formatRow(options.format).make({planning, destination, paths, folders});
    paths.takeInSources(m_oneSourceEach);
    QList<ListedMessage> listed;
    for (const QString &source : m_oneSourceEach)
        listed.append({int(listed.size()), source});
    output->takeIn(listed);
    QStringList landing{destination.prefix()};
    for (const QString &source : m_oneSourceEach)
        landing << output->landingPlaces(paths.folderFor(source).path);
    return landing;
}

// The first of share `share` of `shares` of the landing folders that holds listed messages; -1
// when none does.
qsizetype SourceFolders::firstHeld(const QStringList &landing, int share, int shares) const
{
    FolderResolver resolver;
    const auto [from, to] = shareOf(landing.size(), share, shares);
    for (qsizetype at = from; at < to; ++at) {
        const QString resolved = resolver.resolved(landing.at(at));
        if (!resolved.isEmpty() && m_holding.contains(resolved))
            return at;
    }
    return -1;
}

QString SourceFolders::refusalText(const QString &folder, const Destination &destination)
{
    return QStringLiteral("the destination %1 would put outputs beside the messages being converted, in %2; "
                          "choose another folder")
        .arg(quotedPath(destination.path()), quotedPath(shownFolder(folder)));
}
