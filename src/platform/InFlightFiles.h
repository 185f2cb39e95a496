#pragma once

class QFileDevice;
class QString;

// Temporary files being written, kept where a signal handler can find them: a process ended at
// once by a second Ctrl+C removes them before it goes. An unnamed temporary file (O_TMPFILE,
// which Qt uses where the file system has it) vanishes by itself and is not kept.
class InFlightFile
{
public:
    explicit InFlightFile(QFileDevice &temporary);
    // A temporary file known by its name.
    explicit InFlightFile(const QString &temporaryPath);
    ~InFlightFile();

    InFlightFile(const InFlightFile &) = delete;
    InFlightFile &operator=(const InFlightFile &) = delete;

private:
    void keep(const QString &path);

    int m_slot = -1;
};

// Removes every temporary file still being written. Uses only async-signal-safe calls.
void removeInFlightFiles();
