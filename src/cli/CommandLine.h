// Command-line layer (emlx2eml): its arguments (parseCommandLine), the sources they name
// (gatherSources) and the dry run's lines; main.cpp adds the stop signals, the progress line and
// the report. Builds on the core only, through the same scan and run as the window.
#pragma once

#include "convert/ConversionRun.h"

#include <QStringList>

#include <functional>
#include <optional>

struct CommandLineRequest {
    QStringList sources;
    QString output; // -o as given; the run's destination is made absolute from it
    RunOptions run; // all but the destination
    bool nullSeparated = false; // the dry run's fields end in NUL instead of tab and line break
    bool quiet = false;
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

// The message files named by the sources: files as given, folders scanned breadth first. They are
// kept folder by folder, so that a store of a million messages costs tens of megabytes here.
struct GatheredSources {
    CompactSources messageFiles;
    QList<MessageNote> problems; // sources that do not exist, folders that could not be read
};
// `stopRequested`, asked between steps of a folder scan, ends the gathering early. Folders are
// listed on `jobs` threads.
GatheredSources gatherSources(const QStringList &sources, const std::function<bool()> &stopRequested = {},
                              int jobs = 1);

// A dry run's line for one message: source, tab, output, line break, with each backslash, tab,
// line break and carriage return inside the paths written as \\, \t, \n, \r. With nullSeparated
// each path is written as it is and ends in a NUL byte.
QByteArray dryRunLine(const PlannedOutput &output, bool nullSeparated);
