#include "app/RunSummary.h"

#include "convert/ConversionRun.h"

#include <QDir>
#include <QLocale>

#include <algorithm>

namespace {

constexpr int examplesPerReason = 3;

// "12 × reason" and a line of examples, the most frequent reason first.
QString byReason(const QString &heading, const QList<MessageNote> &notes)
{
    QStringList lines{heading};
    for (const ReasonGroup &group : groupByReason(notes)) {
        lines.append(QStringLiteral("%1 × %2").arg(group.notes.size()).arg(reasonText(group.reason)));
        QStringList examples;
        for (const MessageNote &note : group.notes.mid(0, examplesPerReason))
            examples << QDir::toNativeSeparators(note.source);
        QString line = QStringLiteral("    e.g. ") + examples.join(QStringLiteral(", "));
        if (group.notes.size() > examplesPerReason)
            line += QStringLiteral(" and %1 more").arg(group.notes.size() - examplesPerReason);
        lines.append(line);
    }
    return lines.join(u'\n');
}

QString everyNote(const QString &heading, const QList<MessageNote> &notes)
{
    QStringList lines{heading};
    for (const MessageNote &note : notes)
        lines.append(noteLine(note));
    return lines.join(u'\n');
}

QString paragraphs(const QStringList &parts)
{
    return parts.join(QStringLiteral("\n\n"));
}

QString outcome(const RunReport &report)
{
    if (!report.failures.isEmpty())
        return QStringLiteral("Completed, but %1 of %2 messages could not be converted.\n"
                              "The details name each of them with the reason.")
            .arg(QLocale().toString(report.failures.size()), QLocale().toString(report.total));
    if (!report.warnings.isEmpty())
        return QStringLiteral("Completed ! ") +
               counted(report.warnings.size(), QStringLiteral("warning"), QStringLiteral("warnings"));
    return QStringLiteral("Completed !");
}

} // namespace

QString counted(qsizetype count, const QString &one, const QString &many)
{
    return QLocale().toString(count) + u' ' + (count == 1 ? one : many);
}

RunSummary summariseRun(const RunReport &report, const QString &destination)
{
    RunSummary summary;
    summary.failed = !report.failures.isEmpty();
    summary.text = outcome(report) + QStringLiteral("\n\n") +
                   counted(report.converted, QStringLiteral("message"), QStringLiteral("messages")) +
                   QStringLiteral(" written below ") + QDir::toNativeSeparators(QDir::cleanPath(destination));
    QStringList grouped, full;
    if (!report.failures.isEmpty()) {
        grouped.append(byReason(QStringLiteral("Not converted, by reason:"), report.failures));
        full.append(everyNote(QStringLiteral("Not converted:"), report.failures));
    }
    if (!report.warnings.isEmpty()) {
        grouped.append(byReason(QStringLiteral("Warnings, by reason:"), report.warnings));
        full.append(everyNote(QStringLiteral("Warnings:"), report.warnings));
    }
    summary.fullList = paragraphs(full);
    if (!summary.fullList.isEmpty())
        summary.details = paragraphs(grouped + full);
    return summary;
}
