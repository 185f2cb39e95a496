#include "convert/OutputPaths.h"

#include "convert/OutputNaming.h"
#include "platform/DestinationFolder.h"
#include "platform/PathHelpers.h"

#include <QDir>

OutputPaths::OutputPaths(const Destination &destination, OutputLayout layout)
    : m_destination(destination), m_layout(layout)
{}

void OutputPaths::takeInSources(const QStringList &absoluteSources)
{
    m_accountLevel = m_layout == OutputLayout::Mailboxes && needsAccountLevel(absoluteSources);
    if (m_layout == OutputLayout::Mirror)
        keepSourceFoldersApart(absoluteSources);
}

// The mirror layout turns ".emlx" into ".eml" in folder names too, so two source folders may meet
// in one output folder ("box.emlx/" and "box.eml/"). The first in list order keeps it; a later one
// gets the folder with a number ("box.eml (2)/"), and its messages a warning.
void OutputPaths::keepSourceFoldersApart(const QStringList &absoluteSources)
{
    m_apart.clear();
    QHash<QString, QString> takenBy; // output folder below the destination -> the source folder there
    QSet<QString> seen;
    QStringView previous;
    for (const QString &source : absoluteSources) {
        const QStringView folder = QStringView(source).left(source.lastIndexOf(u'/') + 1);
        if (folder == previous)
            continue; // most lists hold a folder's messages one after the other
        previous = folder;
        const QString sourceFolder = folder.toString();
        if (seen.contains(sourceFolder))
            continue;
        seen.insert(sourceFolder);
        const QString output = outputFolderBelowDestination(source, m_layout).path;
        const QString owner = takenBy.value(keyOf(output));
        if (owner.isEmpty()) {
            takenBy.insert(keyOf(output), sourceFolder);
            continue;
        }
        const QString parent = GetFolderPart(output.chopped(1)), name = GetFileNamePart(output.chopped(1));
        QString numbered;
        for (int n = 2; numbered.isEmpty() || takenBy.contains(keyOf(numbered)); ++n)
            numbered = parent + QStringLiteral("%1 (%2)/").arg(name).arg(n);
        takenBy.insert(keyOf(numbered), sourceFolder);
        m_apart.insert(sourceFolder, {numbered, QStringLiteral("its folder and the folder %1 would both be written to "
                                                               "%2; it goes into %3 instead")
                                                    .arg(quotedPath(owner.chopped(1)),
                                                         quotedPath(m_destination.prefix() + output.chopped(1)),
                                                         quotedPath(m_destination.prefix() + numbered.chopped(1))),
                                      NoteReason::FoldersMeet});
    }
}

// Whether names in the destination that differ only in letter case are the same file: asked of
// the file system without writing, else the platform's usual rule.
void OutputPaths::readDestinationRules()
{
    m_ignoreCase = namesIgnoreLetterCaseAt(m_destination.prefix());
}

OutputFolder OutputPaths::folderFor(const QString &absoluteSource) const
{
    const auto apart = m_apart.isEmpty() ? m_apart.cend() : m_apart.constFind(GetFolderPart(absoluteSource));
    OutputFolder folder =
        apart != m_apart.cend() ? *apart : outputFolderBelowDestination(absoluteSource, m_layout, m_accountLevel);
    folder.path.prepend(m_destination.prefix());
    return folder;
}

QString OutputPaths::ownName(const QString &absoluteSource)
{
    QString fileName = GetFileNamePart(absoluteSource);
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

// Numbering goes on from where the last message of that name stopped, so many alike names cost
// no more than a few. Only a folder's names are kept, and those as digests.
QString OutputPaths::claim(const QString &folder, const QString &name)
{
    FolderNames &names = namesIn(folder);
    const NameDigest plain = digestOf(name);
    if (!names.claimed.contains(plain)) {
        names.claimed.insert(plain);
        return folder + name;
    }
    int &next = names.nextNumber[plain];
    QString numbered;
    NameDigest taken;
    for (int n = qMax(next, 2); numbered.isEmpty() || names.claimed.contains(taken); ++n) {
        numbered = numberedOutputName(name, n);
        taken = digestOf(numbered);
        next = n + 1;
    }
    names.claimed.insert(taken);
    return folder + numbered;
}
