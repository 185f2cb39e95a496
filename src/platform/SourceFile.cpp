#include "platform/SourceFile.h"

#include "platform/RegularFile.h"
#include "platform/SystemCalls.h"

#include <cerrno>
#include <cstring>
#include <memory>

#if EMLX_POSIX_IO
#include <unistd.h>
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
#if EMLX_POSIX_IO
    const RegularFileHandle opened = openRegularFileHandle(m_path);
    if (opened.handle < 0) {
        m_failure = opened.failure;
        m_failureReason = opened.reason;
        return false;
    }
    m_handle = opened.handle;
    m_size = opened.size;
    m_stamp = opened.stamp;
#else
    m_file = std::make_unique<RegularFile>(m_path);
    if (!m_file->openForReading()) {
        m_failure = m_file->failure();
        m_failureReason = m_file->failureReason();
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
#if EMLX_POSIX_IO
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

std::optional<QByteArrayView> SourceFile::keptBytes(ByteRange range) const
{
    if (!m_headRead || range.offset < 0 || range.length < 0 || range.offset + range.length > m_head.size())
        return std::nullopt;
    return QByteArrayView(m_head).sliced(range.offset, range.length);
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
#if EMLX_POSIX_IO
    while (*got < length) {
        const ssize_t n = ::pread(m_handle, data + *got, size_t(length - *got), off_t(offset + *got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            m_error = systemErrorText(errno);
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

bool copyRangeTo(SourceFile &source, ByteRange range, const ByteSink &sink, QString *error, const KeepGoing &keepGoing)
{
    constexpr qint64 chunk = 256 << 10;
    const qint64 bufferSize = range.length >= 0 ? qMin(range.length, chunk) : chunk;
    const auto buffer = std::make_unique_for_overwrite<char[]>(size_t(bufferSize)); // no time spent clearing it
    qint64 offset = range.offset;
    qint64 left = range.length;
    while (left != 0) {
        if (keepGoing && !keepGoing()) {
            *error = QStringLiteral("stopped before the copy was complete");
            return false;
        }
        const qint64 want = left > 0 ? qMin(left, bufferSize) : bufferSize;
        qint64 got = 0;
        if (!source.readAt(offset, buffer.get(), want, &got)) {
            *error = QStringLiteral("cannot read %1: %2").arg(quotedPath(source.path()), source.errorString());
            return false;
        }
        if (got == 0) {
            if (left > 0) {
                *error = QStringLiteral("%1 became shorter while it was read").arg(quotedPath(source.path()));
                return false;
            }
            break;
        }
        if (!sink(buffer.get(), got, error))
            return false;
        offset += got;
        if (left > 0)
            left -= got;
    }
    return true;
}
