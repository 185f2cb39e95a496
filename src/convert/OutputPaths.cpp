#include "convert/OutputPaths.h"

#include "convert/OutputNaming.h"
#include "platform/DestinationFolder.h"
#include "platform/PathHelpers.h"

#include <QDir>

OutputPaths::OutputPaths(const Destination &destination, OutputLayout layout, ReservedFolder reserved)
    : m_destination(destination), m_layout(layout), m_reserved(std::move(reserved))
{}

void OutputPaths::takeInSources(const QStringList &absoluteSources)
{
    m_accountLevel = m_layout == OutputLayout::Mailboxes && needsAccountLevel(absoluteSources);
    keepSourceFoldersApart(absoluteSources);
}

QString OutputPaths::originOf(const QString &absoluteSource) const
{
    const qsizetype end = absoluteSource.lastIndexOf(u'/') + 1;
    if (m_layout == OutputLayout::Mirror)
        return absoluteSource.left(end);
    // The innermost ".mbox/" or ".imapmbox/" step.
    for (qsizetype slash = end - 1; slash > 0; slash = absoluteSource.lastIndexOf(u'/', slash - 1)) {
        const QStringView step = QStringView(absoluteSource).left(slash);
        if (step.endsWith(u".mbox", Qt::CaseInsensitive) || step.endsWith(u".imapmbox", Qt::CaseInsensitive))
            return absoluteSource.left(slash + 1);
    }
    return {};
}

// Two source folders may meet in one output folder: in the mirror layout, which turns ".emlx"
// into ".eml" in folder names too ("box.emlx/" and "box.eml/"), and in the mailboxes layout
// ("A.mbox/" and "A.imapmbox/"); in either, names that differ only in letter case ("Inbox/" and
// "INBOX/"). A folder that the format keeps for itself ("cur/" in a Maildir) is taken from the
// start. The first in list order keeps the folder; a later one gets it with a number
// ("box.eml (2)/"), and its messages a warning.
void OutputPaths::keepSourceFoldersApart(const QStringList &absoluteSources)
{
    m_apart.clear();
    QHash<QString, QString> takenBy; // output folder below the destination -> the origin there
    const auto taken = [&](const QString &output) {
        return takenBy.contains(keyOf(output)) || (m_reserved && m_reserved(output));
    };
    QSet<QString> seen;
    QStringView previous;
    for (const QString &source : absoluteSources) {
        const QStringView folder = QStringView(source).left(source.lastIndexOf(u'/') + 1);
        if (folder == previous)
            continue; // most lists hold a folder's messages one after the other
        previous = folder;
        const QString origin = originOf(source);
        if (origin.isEmpty() || seen.contains(origin))
            continue;
        seen.insert(origin);
        const QString output = outputFolderBelowDestination(source, m_layout, m_accountLevel).path;
        if (output.isEmpty() || !taken(output)) {
            takenBy.insert(keyOf(output), origin);
            continue;
        }
        const QString owner = takenBy.value(keyOf(output));
        const QString parent = GetFolderPart(output.chopped(1)), name = GetFileNamePart(output.chopped(1));
        QString numbered;
        for (int n = 2; numbered.isEmpty() || taken(numbered); ++n)
            numbered = parent + QStringLiteral("%1 (%2)/").arg(name).arg(n);
        takenBy.insert(keyOf(numbered), origin);
        const QString meeting = owner.isEmpty()
                                    ? QStringLiteral("its folder would be written to %1, a name that the format keeps "
                                                     "for itself")
                                          .arg(quotedPath(m_destination.prefix() + output.chopped(1)))
                                    : QStringLiteral("its folder and the folder %1 would both be written to %2")
                                          .arg(quotedPath(owner.chopped(1)),
                                               quotedPath(m_destination.prefix() + output.chopped(1)));
        m_apart.insert(origin, {numbered,
                                meeting + QStringLiteral("; it goes into %1 instead")
                                              .arg(quotedPath(m_destination.prefix() + numbered.chopped(1))),
                                NoteReason::FoldersMeet});
    }
}

OutputFolder OutputPaths::folderFor(const QString &absoluteSource) const
{
    const auto apart = m_apart.isEmpty() ? m_apart.cend() : m_apart.constFind(originOf(absoluteSource));
    OutputFolder folder =
        apart != m_apart.cend() ? *apart : outputFolderBelowDestination(absoluteSource, m_layout, m_accountLevel);
    folder.path.prepend(m_destination.prefix());
    return folder;
}

QString OutputPaths::ownName(const QString &absoluteSource)
{
    const QStringView ownFileName = QStringView(absoluteSource).sliced(absoluteSource.lastIndexOf(u'/') + 1);
    // Most names hold ".emlx" once, at their end: the name less its 'x'.
    if (ownFileName.indexOf(u".emlx") == ownFileName.size() - 5)
        return ownFileName.chopped(1).toString();
    QString fileName = ownFileName.toString();
    return ownOutputName(fileName.replace(QStringLiteral(".emlx"), QStringLiteral(".eml")));
}

// Messages of one folder mostly come one after the other: its names are found once for them.
OutputPaths::FolderNames &OutputPaths::namesIn(const QString &folder)
{
    if (!m_lastNames || folder != m_lastFolder) {
        m_lastFolder = folder;
        m_lastNames = &m_names[keyOf(folder)];
    }
    return *m_lastNames;
}

void OutputPaths::forgetNamesIn(const QString &folder)
{
    m_names.remove(keyOf(folder));
    m_lastNames = nullptr;
}

// Numbering goes on from where the last message of that name stopped, so many alike names cost
// no more than a few. Only a folder's names are kept, and those as digests: of the name as
// compared (letter case ignored, whatever the file system says) and as asked for.
QString OutputPaths::claim(const QString &folder, const QString &name, bool *caseOnly)
{
    FolderNames &names = namesIn(folder);
    const NameDigest plain = digestOf(name);
    const bool taken = names.claimed.contains(plain);
    if (caseOnly) {
        const NameDigest spelling = m_digests.of(name);
        *caseOnly = taken && !names.spellings.contains(spelling);
        names.spellings.insert(spelling);
    }
    if (!taken) {
        names.claimed.insert(plain);
        return folder + name;
    }
    int &next = names.nextNumber[plain];
    QString numbered;
    NameDigest takenAs;
    for (int n = qMax(next, 2); numbered.isEmpty() || names.claimed.contains(takenAs); ++n) {
        numbered = numberedOutputName(name, n);
        takenAs = digestOf(numbered);
        next = n + 1;
    }
    names.claimed.insert(takenAs);
    return folder + numbered;
}
