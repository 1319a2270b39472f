#pragma once

#include "V4l2Io.h"
#include "V4l2Mapping.h"

#include <memory>
#include <string>

namespace capture {

// One open V4L2 node: owns the descriptor and closes it when it goes.
class V4l2File {
public:
    V4l2File() = default;
    V4l2File(std::shared_ptr<V4l2Io> io, std::string path);
    ~V4l2File();

    V4l2File(const V4l2File&) = delete;
    V4l2File& operator=(const V4l2File&) = delete;
    V4l2File(V4l2File&& other) noexcept;
    V4l2File& operator=(V4l2File&& other) noexcept;

    bool isOpen() const { return m_fd >= 0 || m_perCall; }
    // Why the open failed (an errno value); 0 when open.
    int openError() const { return m_openError; }
    const std::string& path() const { return m_path; }
    // What poll() watches for the file's filled buffers (POLLIN) and events (POLLPRI); -1 when
    // the file is not open or is no kernel descriptor.
    int pollDescriptor() const { return m_fd >= 0 ? m_io->pollDescriptor(m_fd) : -1; }

    // From now on the node is opened for each call and closed after it, and never held open
    // in between: a virtual camera keeps its program's format for as long as anyone has it
    // open, so a node held for its settings would keep the program from changing it. Nothing
    // to poll then.
    void openPerCall();

    // 0, or the errno value of the failure (ENODEV once the node has gone).
    int ioctl(unsigned long request, void* argument) const;
    // One of the node's buffers, mapped for reading (see V4l2Mapping::error()).
    V4l2Mapping map(std::size_t length, std::int64_t offset) const;

private:
    void reset();

    std::shared_ptr<V4l2Io> m_io;
    std::string m_path;
    int m_fd = -1;
    int m_openError = 0;
    bool m_perCall = false;
};

// Whether the node at `path` has gone: it left its folder, or it stays and refuses every open
// with ENODEV (vivid's "disconnect").
bool isNodeGone(std::shared_ptr<V4l2Io> io, const std::string& path);

// "Device or resource busy": the system's text for an errno value.
std::string errorText(int error);

}  // namespace capture
