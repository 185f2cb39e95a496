#pragma once

#include "convert/ConversionRun.h"

#include <QStringList>

#include <functional>
#include <optional>

struct CommandLineRequest {
    QStringList sources;
    QString output;
    NamingScheme scheme = NamingScheme::Original;
    OutputLayout layout = OutputLayout::Mirror;
    bool dryRun = false;
    bool nullSeparated = false; // the dry run's fields end in NUL instead of tab and line break
    bool quiet = false;
    bool update = false; // leave the outputs an earlier run finished as they are
    int jobs = 1;
    OutputFormat format = OutputFormat::Eml;
    bool mboxStatus = false;
};

// Either a request to carry out, or text to print and the exit status to end with
// (help, version, usage errors).
struct ParsedCommandLine {
    std::optional<CommandLineRequest> request;
    QString text;
    int exitCode = 0;
};

enum ExitStatus { ExitConverted = 0, ExitSomeFailed = 1, ExitUsage = 2 };

ParsedCommandLine parseCommandLine(const QStringList &arguments);

// The message files named by the sources: files as given, folders scanned breadth first.
struct GatheredSources {
    QStringList messageFiles;
    QList<MessageNote> problems; // sources that do not exist, folders that could not be read
};
// `stopRequested`, asked between steps of a folder scan, ends the gathering early.
GatheredSources gatherSources(const QStringList &sources, const std::function<bool()> &stopRequested = {});

// A dry run's line for one message: source, tab, output, line break, with each backslash, tab,
// line break and carriage return inside the paths written as \\, \t, \n, \r. With nullSeparated
// each path is written as it is and ends in a NUL byte.
QByteArray dryRunLine(const PlannedOutput &output, bool nullSeparated);
