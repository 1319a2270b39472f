#pragma once

#include "V4l2Io.h"
#include "capture/devices/DeviceWatch.h"

#include <memory>
#include <string>

class QSocketNotifier;

namespace capture {

// Hot-plug of V4L2 devices by the kernel's word: inotify on the node directory (/dev, or the
// one ORVEX_V4L2_DIR names) reports video<N> nodes made and removed, and a notifier on the
// thread that makes the watch (the GUI thread) passes that on. Nothing polls.
class V4l2NodeWatch final : public DeviceWatch {
public:
    // Without inotify on the directory (missing, not allowed) the catalogue stays as found.
    V4l2NodeWatch(std::shared_ptr<V4l2Io> io, std::string directory);
    ~V4l2NodeWatch() override;
    V4l2NodeWatch(const V4l2NodeWatch&) = delete;
    V4l2NodeWatch& operator=(const V4l2NodeWatch&) = delete;

    bool watching() const { return m_inotify >= 0; }

    void setChangeHandler(std::function<void()> changed) override { m_changed = std::move(changed); }
    // Takes out the V4L2 devices whose node went or that answer ENODEV, and lists the capture
    // nodes not listed yet in node order, after the V4L2 devices before them and before the
    // built-in devices.
    std::vector<std::unique_ptr<VideoDevice>> update(DeviceCatalogue& catalogue) override;

private:
    void readEvents();

    std::shared_ptr<V4l2Io> m_io;
    std::string m_directory;
    int m_inotify = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_changed;
};

}  // namespace capture
