#include "platform/SourceFile.h"

#include "platform/RegularFile.h"

#include <cerrno>
#include <cstring>

#if defined(Q_OS_UNIX) && !defined(EMLX_PORTABLE_IO)
#define POSITIONED_READS 1
#include <unistd.h>
#else
#define POSITIONED_READS 0
#endif

namespace {

// Enough for the count line, the start of the message and most header blocks; more would be
// read twice, here and again by the copy, for most messages.
constexpr qint64 headSize = 32 << 10;

} // namespace

SourceFile::SourceFile(QString path) : m_path(std::move(path)) {}

SourceFile::~SourceFile()
{
    close();
}

bool SourceFile::open()
{
    close();
#if POSITIONED_READS
    const RegularFileHandle opened = openRegularFileHandle(m_path);
    if (opened.handle < 0) {
        m_failure = opened.failure;
        return false;
    }
    m_handle = opened.handle;
    m_size = opened.size;
    m_stamp = opened.stamp;
#else
    m_file = std::make_unique<RegularFile>(m_path);
    if (!m_file->openForReading()) {
        m_failure = m_file->failure();
        m_file.reset();
        return false;
    }
    m_size = m_file->size(); // the stamp stays unknown: the writer asks the file by its name
#endif
    m_failure.clear();
    return true;
}

void SourceFile::close()
{
#if POSITIONED_READS
    if (m_handle >= 0)
        ::close(m_handle);
#endif
    m_handle = -1;
    m_file.reset();
    m_head.clear();
    m_headRead = false;
}

bool SourceFile::isOpen() const
{
    return m_handle >= 0 || m_file;
}

bool SourceFile::readAt(qint64 offset, char *data, qint64 length, qint64 *got)
{
    if (!m_headRead && offset < headSize) {
        m_head.resize(qMin(m_size, headSize));
        qint64 headGot = 0;
        if (!readUncached(0, m_head.data(), m_head.size(), &headGot))
            return false;
        m_head.truncate(headGot);
        m_headRead = true;
    }
    const bool wholeFileKept = m_headRead && m_head.size() == m_size;
    if (m_headRead && offset >= 0 && (offset + length <= m_head.size() || wholeFileKept)) {
        const qint64 n = qMax<qint64>(0, qMin(length, m_head.size() - offset));
        std::memcpy(data, m_head.constData() + offset, size_t(n));
        *got = n;
        return true;
    }
    return readUncached(offset, data, length, got);
}

bool SourceFile::readSomeAt(qint64 offset, char *data, qint64 length, qint64 *got)
{
    if (offset >= 0 && offset < headSize && offset < m_size) {
        if (!readAt(offset, data, 0, got)) // reads the first bytes once
            return false;
        if (offset < m_head.size())
            length = qMin(length, m_head.size() - offset);
    }
    return readAt(offset, data, length, got);
}

QByteArray SourceFile::readAt(qint64 offset, qint64 length)
{
    QByteArray bytes(qMax<qint64>(0, qMin(length, m_size - offset)), Qt::Uninitialized);
    qint64 got = 0;
    if (!readAt(offset, bytes.data(), bytes.size(), &got))
        return {};
    bytes.truncate(got);
    return bytes;
}

bool SourceFile::readUncached(qint64 offset, char *data, qint64 length, qint64 *got)
{
    *got = 0;
#if POSITIONED_READS
    while (*got < length) {
        const ssize_t n = ::pread(m_handle, data + *got, size_t(length - *got), off_t(offset + *got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (n == 0)
            break;
        *got += n;
    }
    return true;
#else
    if (!m_file || !m_file->seek(offset)) {
        m_error = m_file ? m_file->errorString() : QStringLiteral("the file is not open");
        return false;
    }
    while (*got < length) {
        const qint64 n = m_file->read(data + *got, length - *got);
        if (n < 0) {
            m_error = m_file->errorString();
            return false;
        }
        if (n == 0)
            break;
        *got += n;
    }
    return true;
#endif
}

SourceFileDevice::SourceFileDevice(SourceFile &source, qint64 offset) : m_source(source), m_offset(offset)
{
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 SourceFileDevice::readData(char *data, qint64 maxSize)
{
    qint64 got = 0;
    if (!m_source.readSomeAt(m_offset, data, maxSize, &got)) {
        setErrorString(m_source.errorString());
        return -1;
    }
    m_offset += got;
    return got;
}
