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
}

// Whether names in the destination that differ only in letter case are the same file: asked of
// the file system without writing, else the platform's usual rule.
void OutputPaths::readDestinationRules()
{
    m_ignoreCase = namesIgnoreLetterCaseAt(m_destination.prefix());
}

OutputFolder OutputPaths::folderFor(const QString &absoluteSource) const
{
    OutputFolder folder = outputFolderBelowDestination(absoluteSource, m_layout, m_accountLevel);
    folder.path.prepend(m_destination.prefix());
    return folder;
}

QString OutputPaths::ownName(const QString &absoluteSource)
{
    QString fileName = GetFileNamePart(absoluteSource);
    return ownOutputName(fileName.replace(QStringLiteral(".emlx"), QStringLiteral(".eml")));
}

// Numbering goes on from where the last message of that name stopped, so many alike names cost
// no more than a few.
QString OutputPaths::claim(const QString &folder, const QString &name)
{
    const QString plain = folder + name;
    QString target = plain;
    int &next = m_nextNumber[keyOf(plain)];
    for (int n = qMax(next, 2); m_claimed.contains(keyOf(target)); ++n) {
        target = folder + numberedOutputName(name, n);
        next = n + 1;
    }
    m_claimed.insert(keyOf(target));
    return target;
}
