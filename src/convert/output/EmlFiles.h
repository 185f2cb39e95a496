#pragma once

#include "convert/output/MessageOutput.h"
#include "convert/output/UpdateRecord.h"

#include <memory>

// Loose .eml files: one file per message, named by the naming scheme (alike names numbered,
// OutputPaths), in the folder its layout gives it. With --update an output that has the
// message's size and its source's modification time is left alone, and a record in the
// destination (UpdateRecord) names unchanged sources without opening them.
class EmlFiles : public MessageOutput
{
public:
    explicit EmlFiles(const OutputContext &context);
    static std::unique_ptr<MessageOutput> make(const OutputContext &context);

    bool takesInEachMessage() const override { return false; }
    void takeIn(const QList<ListedMessage> &messages) override;
    bool recall(RunMessage &message) const override;
    void place(RunMessage &message) override;
    bool upToDate(const RunMessage &message) const override;
    FileResult write(RunMessage &message, MessageContent &content) override;
    void reported(const RunMessage &message, RunReport &report) override;
    void finishBatch(RunReport &report) override;
    void finish(RunReport &report) override;

private:
    bool keepsRecord() const;
    void tellOf(const FileResult &saved, RunReport &report) const;

    OutputContext m_context;
    UpdateRecord m_record;
};
