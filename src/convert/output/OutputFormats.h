#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class MessageOutput;
struct OutputContext;

// What a run writes into the folder each mailbox's messages go to.
enum class OutputFormat {
    Eml,     // one loose .eml file per message
    Mbox,    // one mbox file per mailbox, named after it
    Maildir, // one Maildir (cur/, new/, tmp/) per mailbox
};

// Everything that tells one format from another, one row each, in enum order.
struct OutputFormatRow {
    OutputFormat format;
    QLatin1StringView name; // on the command line: --format mbox
    QLatin1StringView help; // what --help says of it
    std::unique_ptr<MessageOutput> (*make)(const OutputContext &context);
};

extern const OutputFormatRow outputFormats[3];

const OutputFormatRow &formatRow(OutputFormat format);
std::optional<OutputFormat> formatFromName(const QString &name);
// Command-line names of the formats ("eml", "mbox", "maildir"), in enum order.
QStringList formatNames();
