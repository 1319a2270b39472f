#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace capture {

// Writes the muxer's output into the capture file and keeps space reserved beyond its end,
// so that when the disk fills up there is still room for what is in flight and for the
// index that closes the file. Called on the recording's streaming thread only.
//
// Every buffer goes straight to the kernel (no user-space buffering), so a process that is
// killed leaves everything it muxed in the file.
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
    Result write(const void* data, std::size_t size);
    // Gives back the reserve. The file then ends exactly where its last write ended.
    void finish();

    // Safe to read from any thread.
    std::uint64_t size() const { return m_size.load(); }
    // The muxer indexes at most 32 OpenDML parts of 1 GB each; what comes after would be
    // unreachable for readers, so the writer reports Full before that.
    bool reachedLargestSize() const { return m_largest; }
    static constexpr std::uint64_t kLargestSize = 31ull << 30;
    int lastError() const { return m_error; }

private:
    bool reserveFor(std::uint64_t end);
    std::uint64_t reserveBytes() const;
    void trackRate(std::size_t size);

    int m_fd;
    bool m_emptied = false;
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
