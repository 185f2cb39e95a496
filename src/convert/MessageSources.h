#pragma once

#include "platform/PathList.h"

#include <QString>
#include <QStringList>

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

// Paths appended as a scan finds them, kept folder by folder (PathList): a million message files
// cost their names instead of a million whole paths.
class CompactSources final : public MessageSources
{
public:
    void append(const QString &path) { m_paths.append(path); }
    qsizetype count() const override { return m_paths.count(); }
    QString at(qsizetype index) const override { return m_paths.at(index); }

private:
    PathList m_paths;
};
