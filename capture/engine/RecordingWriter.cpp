#include "RecordingWriter.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace capture {

namespace {

constexpr std::uint64_t kBaseReserve = 4u << 20;
constexpr std::uint64_t kGrowStep = 16u << 20;
// The closing index takes 16 bytes per chunk (plus OpenDML's 8); the muxer writes each
// chunk as one or two buffers, so this is an upper bound.
constexpr std::uint64_t kIndexBytesPerWrite = 24;

}  // namespace

RecordingWriter::RecordingWriter(int fd) : m_fd(fd), m_secondStarted(std::chrono::steady_clock::now())
{
    struct stat info {};
    m_holding = ::fstat(fd, &info) == 0 && info.st_size > 0;
    m_holdEnds = m_secondStarted + kLongestHold;
}

std::uint64_t RecordingWriter::reserveBytes() const
{
    // What may still be queued between the tee and this sink when the recording is told to
    // stop is about one second of data (the record queue's limit); keep two.
    return kBaseReserve + kIndexBytesPerWrite * m_writes + 2 * m_bytesPerSecond;
}

void RecordingWriter::trackRate(std::size_t size)
{
    const auto now = std::chrono::steady_clock::now();
    m_bytesThisSecond += size;
    if (now - m_secondStarted >= std::chrono::seconds(1)) {
        m_bytesPerSecond = std::max(m_bytesPerSecond, m_bytesThisSecond);
        m_bytesThisSecond = 0;
        m_secondStarted = now;
    }
}

bool RecordingWriter::reserveFor(std::uint64_t end)
{
    const std::uint64_t wanted = end + reserveBytes();
    if (!m_canReserve || wanted <= m_reservedEnd)
        return true;
    // From the write on, never across a hole before it: the muxer writes on from where it
    // stopped, and a seek past the end must not allocate what lies between.
    const std::uint64_t from = std::max(m_reservedEnd, m_position);
    const std::uint64_t generous = std::max(wanted - from, kGrowStep);
    for (std::uint64_t length : {generous, wanted - from}) {
        if (::fallocate(m_fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(from), static_cast<off_t>(length)) == 0) {
            m_reservedEnd = from + length;
            return true;
        }
        if (errno != ENOSPC && errno != EDQUOT) {
            // The filesystem cannot reserve (EOPNOTSUPP and the like): fall back to
            // noticing a full disk at the write that fails.
            m_canReserve = false;
            return true;
        }
    }
    return false;
}

bool RecordingWriter::holds(std::uint64_t end) const
{
    return m_holding && !m_kept && end <= kLargestHold && std::chrono::steady_clock::now() < m_holdEnds;
}

RecordingWriter::Result RecordingWriter::release()
{
    m_holding = false;
    const std::vector<char> held = std::move(m_held);
    if (::ftruncate(m_fd, 0) != 0) {
        m_error = errno;
        m_failed = true;
        return Result::Failed;
    }
    const std::uint64_t position = m_position;
    m_position = 0;
    m_size = 0;
    const Result result = held.empty() ? Result::Written : put(held.data(), held.size());
    m_position = position;
    return result;
}

RecordingWriter::Result RecordingWriter::write(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    const std::uint64_t end = m_position + size;
    Result result = Result::Written;
    if (holds(end)) {
        if (m_held.size() < end)
            m_held.resize(end);
        std::copy(bytes, bytes + size, m_held.begin() + static_cast<std::ptrdiff_t>(m_position));
        m_position = end;
        m_size = m_held.size();
    } else {
        if (m_holding)
            result = release();
        if (result != Result::Failed) {
            const Result put = this->put(bytes, size);
            if (put != Result::Written)
                result = put;
        }
    }
    if (result == Result::Failed)
        return result;
    ++m_writes;
    trackRate(size);
    return result;
}

RecordingWriter::Result RecordingWriter::put(const char* bytes, std::size_t size)
{
    const std::uint64_t end = m_position + size;
    const bool appends = end > m_size;
    if (appends && m_failed)
        return Result::Failed;
    if (appends && !m_full && end > kLargestSize)
        m_full = m_largest = true;
    if (appends && !m_full && !reserveFor(end))
        m_full = true;

    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(m_fd, bytes + done, size - done, static_cast<off_t>(m_position + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_error = n < 0 ? errno : ENOSPC;
            if (appends && ::ftruncate(m_fd, static_cast<off_t>(m_size.load())) != 0) {
                // The partial chunk stays; readers stop at it.
            }
            m_failed = true;
            return Result::Failed;
        }
        done += static_cast<std::size_t>(n);
    }
    m_position = end;
    m_size = std::max(m_size.load(), end);
    return m_full ? Result::Full : Result::Written;
}

void RecordingWriter::finish()
{
    if (m_holding && m_kept)
        release();
    if (m_holding) {
        // Never kept: the start failed, the file keeps what it had.
        m_held.clear();
        m_size = 0;
        return;
    }
    if (m_reservedEnd > m_size) {
        // Growing by one byte and cutting back makes every filesystem drop the blocks that
        // were reserved past the end.
        if (::ftruncate(m_fd, static_cast<off_t>(m_size.load() + 1)) == 0 && ::ftruncate(m_fd, static_cast<off_t>(m_size.load())) == 0)
            m_reservedEnd = m_size;
    }
}

}  // namespace capture
