// Shared by the fuzz targets: hands libFuzzer's bytes to file-based readers.
#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace FuzzInput {

// The one scratch file of this process, removed when the process ends normally.
struct ScratchFile {
    QString path;
    ~ScratchFile() { QFile::remove(path); }
};

// Writes the input to the scratch file and returns its path.
inline QString asFile(const uint8_t *data, size_t size)
{
    static const ScratchFile scratch{
        QStringLiteral("%1/emlx-fuzz-%2.emlx")
            .arg(QFile::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm") : QStringLiteral("/tmp"))
            .arg(getpid())};
    const QString &path = scratch.path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    return path;
}

// A broken promise of the code under test: stop here so the fuzzer keeps the input.
inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace FuzzInput
