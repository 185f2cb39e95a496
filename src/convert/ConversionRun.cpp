#include "ConversionRun.h"

#include "EmlxEnvelope.h"
#include "HeaderReader.h"
#include "PartialMessage.h"
#include "platform/PathHelpers.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryFile>

namespace {

QString withTrailingSlash(QString folder)
{
    folder = QDir::fromNativeSeparators(folder);
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

// Whether names in `folder` that differ only in letter case are the same file.
bool ignoresLetterCase(const QString &folder)
{
    QTemporaryFile probe(folder + QStringLiteral("case-probe-XXXXXX"));
    if (probe.open()) {
        const QString name = GetFileNamePart(probe.fileName());
        return QFileInfo::exists(folder + name.toUpper()) && QFileInfo::exists(folder + name.toLower());
    }
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return true;
#else
    return false;
#endif
}

class Run
{
public:
    Run(const RunOptions &options, const RunCallbacks &callbacks)
        : m_options(options), m_callbacks(callbacks), m_destination(withTrailingSlash(options.destination))
    {
    }

    RunReport convert(const QStringList &sources)
    {
        m_report.total = int(sources.size());
        if (!prepareDestination())
            return m_report;
        for (int index = 0; index < sources.size() && !stopNow(); ++index) {
            if (m_callbacks.messageStarted)
                m_callbacks.messageStarted(index);
            if (yieldAndCheckStop())
                break;
            convertOne(sources[index]);
            if (m_report.stopped)
                break;
            if (m_callbacks.progress)
                m_callbacks.progress(index + 1, m_report.total);
        }
        return m_report;
    }

private:
    bool prepareDestination()
    {
        if (m_options.destination.trimmed().isEmpty()) {
            m_report.error = QStringLiteral("no destination folder was given");
            return false;
        }
        if (!m_options.dryRun) {
            const FileResult made = EnsureFolderExists(m_destination);
            if (!made.ok) {
                m_report.error = made.error;
                return false;
            }
        }
        m_ignoreCase = ignoresLetterCase(m_destination);
        return true;
    }

    bool stopNow()
    {
        if (!m_report.stopped && m_callbacks.stopRequested && m_callbacks.stopRequested())
            m_report.stopped = true;
        return m_report.stopped;
    }

    bool yieldAndCheckStop()
    {
        if (m_callbacks.yield)
            m_callbacks.yield();
        return stopNow();
    }

    NamingScheme currentScheme() const { return m_callbacks.scheme ? m_callbacks.scheme() : m_options.scheme; }

    void fail(const QString &source, const QString &reason) { m_report.failures.append({source, reason}); }

    void convertOne(const QString &entry)
    {
        if (entry.trimmed().isEmpty()) {
            ++m_report.emptyEntries;
            return;
        }
        const QString source = QDir::fromNativeSeparators(entry);
        const QString absolute = QDir::cleanPath(QFileInfo(source).absoluteFilePath());
        if (m_targetOfSource.contains(absolute)) {
            ++m_report.repeatedSources;
            return;
        }

        if (isPartialMessageFile(source) && QFileInfo(fullMessageFileOf(source)).isFile()) {
            ++m_report.skippedPartials;
            m_report.warnings.append({entry, QStringLiteral("skipped: the full copy \"%1\" of this partial message is "
                                                            "converted instead")
                                                 .arg(QDir::toNativeSeparators(fullMessageFileOf(entry)))});
            return;
        }
        const EmlxEnvelope::Result read = EmlxEnvelope::read(source);
        if (!read.envelope) {
            fail(entry, read.error);
            return;
        }
        const EmlxEnvelope &envelope = *read.envelope;
        if (!envelope.warning.isEmpty())
            m_report.warnings.append({entry, envelope.warning});

        const QString outputFolder = m_destination + outputFolderBelowDestination(absolute, m_options.layout);
        QString fileName = GetFileNamePart(absolute);
        const QString ownName = ownOutputName(fileName.replace(QStringLiteral(".emlx"), QStringLiteral(".eml")));
        const std::optional<QString> name = outputName(entry, source, envelope, ownName);
        if (!name)
            return;
        const QString target = claimTarget(outputFolder, *name);
        m_targetOfSource.insert(absolute, target);
        if (yieldAndCheckStop())
            return;
        if (!m_options.dryRun && !write(entry, source, outputFolder, target, envelope))
            return;
        ++m_report.converted;
        m_report.outputs.append({entry, target});
    }

    std::optional<QString> outputName(const QString &entry, const QString &source, const EmlxEnvelope &envelope,
                                      const QString &ownName)
    {
        const NamingScheme scheme = currentScheme();
        if (!schemeReadsHeaders(scheme))
            return CleanOutputName(ownName);
        HeaderReader reader;
        if (!reader.LoadMessageFile(source, envelope)) {
            fail(entry, reader.errorString());
            return std::nullopt;
        }
        for (const QString &warning : reader.warnings())
            m_report.warnings.append({entry, warning});
        const QString name = CleanOutputName(ComposeOutputName(ownName, scheme, reader));
        return name.isEmpty() ? CleanOutputName(ownName) : name;
    }

    // The path for this message, numbered when an earlier message of the run has it already.
    // Numbering goes on from where the last message of that name stopped, so many alike
    // names cost no more than a few.
    QString claimTarget(const QString &folder, const QString &name)
    {
        const QString plain = folder + name;
        QString target = plain;
        int &next = m_nextNumber[targetKey(plain)];
        for (int n = qMax(next, 2); m_claimedTargets.contains(targetKey(target)); ++n) {
            target = folder + numberedOutputName(name, n);
            next = n + 1;
        }
        m_claimedTargets.insert(targetKey(target));
        return target;
    }

    QString targetKey(const QString &target) const { return m_ignoreCase ? target.toCaseFolded() : target; }

    bool write(const QString &entry, const QString &source, const QString &folder, const QString &target,
               const EmlxEnvelope &envelope)
    {
        if (!m_madeFolders.contains(folder)) {
            const FileResult made = EnsureFolderExists(folder);
            if (!made.ok) {
                fail(entry, made.error);
                return false;
            }
            m_madeFolders.insert(folder);
        }
        const FileResult written = isPartialMessageFile(source) ? writePartial(entry, source, target, envelope)
                                                                : CopyMessageFile(source, target, false,
                                                                                  {envelope.messageOffset, envelope.messageLength});
        if (!written.ok) {
            fail(entry, written.error);
            return false;
        }
        return true;
    }

    FileResult writePartial(const QString &entry, const QString &source, const QString &target,
                            const EmlxEnvelope &envelope)
    {
        ReassemblyResult reassembled;
        const FileResult written =
            WriteFileAtomically(target, false, QFileInfo(source), [&](QFileDevice &out, QString *error) {
                reassembled = writeReassembledMessage(source, envelope, out);
                *error = reassembled.error;
                return reassembled.ok;
            });
        if (written.ok)
            for (const QString &part : reassembled.missingParts)
                m_report.warnings.append({entry, QStringLiteral("part %1 of the message was not found beside it; "
                                                                "it stays empty in \"%2\"")
                                                     .arg(part, QDir::toNativeSeparators(target))});
        return written;
    }

    const RunOptions &m_options;
    const RunCallbacks &m_callbacks;
    const QString m_destination;
    bool m_ignoreCase = false;
    RunReport m_report;
    QSet<QString> m_madeFolders;
    QSet<QString> m_claimedTargets;
    QHash<QString, int> m_nextNumber;
    QHash<QString, QString> m_targetOfSource;
};

} // namespace

QString outputFolderBelowDestination(const QString &absoluteSource, OutputLayout layout)
{
    const QString folder = GetFolderPart(absoluteSource);
    if (layout == OutputLayout::Mirror)
        return DropPathRoot(QString(folder).replace(QStringLiteral(".emlx"), QStringLiteral(".eml")));
    QString mailboxes;
    for (const QString &part : folder.split(u'/', Qt::SkipEmptyParts)) {
        for (const QString suffix : {QStringLiteral(".mbox"), QStringLiteral(".imapmbox")})
            if (part.endsWith(suffix, Qt::CaseInsensitive) && part.size() > suffix.size())
                mailboxes += part.chopped(suffix.size()) + u'/';
    }
    return mailboxes;
}

RunReport convertAll(const QStringList &sources, const RunOptions &options, const RunCallbacks &callbacks)
{
    return Run(options, callbacks).convert(sources);
}
