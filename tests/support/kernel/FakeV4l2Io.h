#pragma once

#include "tests/support/kernel/FakeV4l2Device.h"
#include "capture/v4l2/V4l2Io.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace capture {

// The seam with fake nodes behind it, by path. Any number of files may be open on one node,
// as on the kernel; paths without a node answer ENOENT.
class FakeV4l2Io final : public V4l2Io {
public:
    std::shared_ptr<FakeV4l2Device> add(const std::string& path, FakeV4l2Hardware hardware);

    int open(const std::string& path) override;
    void close(int fd) override;
    // The model's descriptors are numbers only: callers ask for events instead of polling.
    int pollDescriptor(int) const override { return -1; }
    int ioctl(int fd, unsigned long request, void* argument) override;
    // The node's buffer memory (a memfd), mapped as the kernel maps a buffer at its offset.
    int mmap(int fd, std::size_t length, std::int64_t offset, const void*& mapping) override;
    void munmap(const void* mapping, std::size_t length) override;

    int openFiles() const;

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<FakeV4l2Device>> m_nodes;
    std::map<int, std::shared_ptr<FakeV4l2Device>> m_files;
    int m_nextFd = 100;
};

}  // namespace capture
