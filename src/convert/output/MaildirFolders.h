#pragma once

#include "convert/output/MessageOutput.h"

#include <QHash>
#include <QString>

// The Maildir info letters for the mail client's state bits (MessageFlag), in ASCII order: "DFRST"
// when all are set.
QString maildirFlagLetters(quint64 flags);
// A Maildir unique name for a message file: the same for the same path in every run, and
// holding neither '/' nor ':'.
QString maildirUniqueName(const QString &absoluteSource);

// One Maildir (cur/, new/, tmp/) per mailbox folder. Each message is written complete into tmp/,
// given the date it was received, then moved into cur/ as "<unique>:2,<flags>". With --update the
// file of the same unique name and flags in cur/ is left alone; a message whose flags changed
// since an earlier run replaces its file there instead of standing in it twice.
class MaildirFolders : public MessageOutput
{
public:
    explicit MaildirFolders(const OutputContext &context);
    static std::unique_ptr<MessageOutput> make(const OutputContext &context);

    bool needsMailboxFacts() const override { return true; }
    bool reservesFolder(const QString &folder) const override;
    QStringList landingPlaces(const QString &folder) const override;
    void place(RunMessage &message) override;
    bool upToDate(const RunMessage &message) const override;
    FileResult write(RunMessage &message, MessageContent &content) override;

private:
    void takeInEarlierFiles(const QString &cur);
    // The file an earlier run left in the target's cur/ under the same unique name, if any.
    QString earlierFileOf(const QString &target) const;

    OutputContext m_context;
    QHash<QString, QString> m_earlier; // cur/ folder + unique name -> the file there from an earlier run
};
