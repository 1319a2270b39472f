#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace capture {

// Writes the muxer's output into the capture file and keeps space reserved beyond its end,
// so that when the disk fills up there is still room for what is in flight and for the
// index that closes the file. Called on the recording's streaming thread only.
//
// Every buffer goes straight to the kernel (no user-space buffering), so a process that is
// killed leaves everything it muxed in the file. The one exception is a file that already
// had content: what the muxer writes at first is held in memory, and the file emptied and
// written, only once the recording is sure to go on (keep()), so a start that fails leaves
// the earlier file as it was.
class RecordingWriter {
public:
    enum class Result {
        Written,
        // Written, but no more space could be reserved: the recording must end now, and the
        // reserve will hold what is still in flight and the closing index.
        Full,
        // Nothing was written (the disk refused it); the file was cut back to its last whole
        // write. Later appends are dropped, rewrites inside the file still go through.
        Failed,
    };

    explicit RecordingWriter(int fd);

    void seek(std::uint64_t offset) { m_position = offset; }
    std::uint64_t position() const { return m_position; }
    Result write(const void* data, std::size_t size);
    // The recording goes on (the start succeeded, or the muxer has closed the file): what is
    // held goes to the file at the next write or at finish(). Safe from any thread. Without
    // it, holding ends by itself once a start could no longer fail, or at kLargestHold.
    void keep() { m_kept = true; }
    // Gives back the reserve. The file then ends exactly where its last write ended. What is
    // still held and was never kept is dropped: the file stays as it was.
    void finish();

    // Safe to read from any thread.
    std::uint64_t size() const { return m_size.load(); }
    // The muxer indexes at most 32 OpenDML parts of 1 GB each; what comes after would be
    // unreachable for readers, so the writer reports Full before that.
    bool reachedLargestSize() const { return m_largest; }
    static constexpr std::uint64_t kLargestSize = 31ull << 30;
    // Past this much, or this long after the writer was made (longer than any start waits),
    // held output goes to the file even if nobody said keep().
    static constexpr std::uint64_t kLargestHold = 64u << 20;
    static constexpr std::chrono::seconds kLongestHold{10};
    int lastError() const { return m_error; }

private:
    bool holds(std::uint64_t end) const;
    Result release();
    Result put(const char* bytes, std::size_t size);
    bool reserveFor(std::uint64_t end);
    std::uint64_t reserveBytes() const;
    void trackRate(std::size_t size);

    int m_fd;
    bool m_holding = false;
    std::atomic<bool> m_kept{false};
    std::vector<char> m_held;  // the file's first bytes while holding
    std::chrono::steady_clock::time_point m_holdEnds;
    bool m_full = false;
    bool m_failed = false;
    bool m_canReserve = true;
    bool m_largest = false;
    int m_error = 0;
    std::uint64_t m_position = 0;
    std::atomic<std::uint64_t> m_size{0};
    std::uint64_t m_reservedEnd = 0;
    std::uint64_t m_writes = 0;
    std::uint64_t m_bytesThisSecond = 0;
    std::uint64_t m_bytesPerSecond = 0;
    std::chrono::steady_clock::time_point m_secondStarted;
};

}  // namespace capture
