#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The entries a run converts, in list order, handed out one at a time so that a run need not
// hold them all as whole paths.
class MessageSources
{
public:
    virtual ~MessageSources() = default;
    virtual qsizetype count() const = 0;
    virtual QString at(qsizetype index) const = 0;
};

// A list the caller keeps (the window's, the tests'), entries as they are.
class ListedSources final : public MessageSources
{
public:
    explicit ListedSources(const QStringList &entries) : m_entries(entries) {}
    qsizetype count() const override { return m_entries.size(); }
    QString at(qsizetype index) const override { return m_entries.at(index); }

private:
    const QStringList &m_entries;
};

// Paths kept folder by folder: each run of paths in one folder stores the folder once and each
// file by its name only. A million message files then cost their names (about 30 bytes each)
// instead of a million whole paths.
class CompactSources final : public MessageSources
{
public:
    void append(const QString &path);
    qsizetype count() const override { return qsizetype(m_nameStarts.size()); }
    QString at(qsizetype index) const override;

private:
    struct Folder {
        QString path;    // up to and with its last '/', empty for a bare name
        qsizetype first; // index of its first path
    };
    std::vector<Folder> m_folders;
    QString m_names;                     // every file name, one after the other
    std::vector<qsizetype> m_nameStarts; // where each path's name starts in m_names
};
