#include "convert/output/OutputFolders.h"

OutputFolders::OutputFolders(const Destination &destination, bool dryRun, bool update)
    : m_real(destination, !dryRun), m_dryRun(dryRun), m_update(update)
{}

FileResult OutputFolders::makeSure(const QString &folder, State *state)
{
    if (state)
        *state = State::Known;
    if (m_known.contains(folder))
        return {};
    bool madeNow = false;
    const FileResult made = m_real.ensure(folder, &madeNow);
    if (!made.ok)
        return made;
    m_known.insert(folder);
    if (state)
        *state = madeNow ? State::Made : State::Found;
    if (!m_dryRun && !madeNow && m_update) {
        const std::lock_guard<std::mutex> guard(m_lock);
        m_leftoversToClear.insert(folder);
    } else if (!m_dryRun && !madeNow) {
        removeLeftoverTemporaryFiles(folder, m_started);
    }
    return {};
}

void OutputFolders::clearLeftoversBefore(const QStringList &folders) const
{
    if (!m_update)
        return; // cleared when found
    QStringList clear;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        for (const QString &folder : folders)
            if (m_leftoversToClear.remove(folder))
                clear << folder;
    }
    for (const QString &folder : clear)
        removeLeftoverTemporaryFiles(folder, m_started);
}
