#pragma once

#include "convert/output/MessageOutput.h"

#include <QHash>
#include <QSet>
#include <QString>

// The Maildir info letters for the mail client's state bits (MessageFlag), in ASCII order: "DFPRST"
// when all are set.
QString maildirFlagLetters(quint64 flags);
// A Maildir unique name for a message file from its place in the store (storePlaceOf): the same
// in every run, wherever the store lies, and holding neither '/' nor ':'.
QString maildirUniqueName(const QString &storePlace);

// One Maildir (cur/, new/, tmp/) per mailbox folder. Each message is written complete under a
// temporary name of its own (never one that a process beside the run could guess), given the
// date it was received, and renamed into cur/ as "<unique>:2,<flags>"; nothing that the run did
// not make is opened. With --update a file in cur/ or new/ of the message's unique name and size
// is left alone whatever its flags (a mail program may have changed them); a message whose file
// is missing, short or of other flags without --update is written again and replaces it.
class MaildirFolders : public MessageOutput
{
public:
    explicit MaildirFolders(const OutputContext &context);
    static std::unique_ptr<MessageOutput> make(const OutputContext &context);

    bool needsMailboxFacts() const override { return true; }
    FileResult checkDestination() override;
    bool reservesFolder(const QString &folder) const override;
    QStringList landingPlaces(const QString &folder) const override;
    void place(RunMessage &message) override;
    bool upToDate(const RunMessage &message) const override;
    FileResult write(RunMessage &message, MessageContent &content) override;

private:
    void takeInEarlierFiles(const QString &folder);
    // The file an earlier run left in the message's cur/ or new/ under its unique name, if any.
    QString earlierFileOf(const RunMessage &message) const;

    OutputContext m_context;
    QHash<QString, QString> m_earlier; // Maildir folder + unique name -> the file there from an earlier run
    QSet<QString> m_claimed;           // Maildir folder + unique name, taken by a message of this run
};
