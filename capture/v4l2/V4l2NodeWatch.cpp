#include "V4l2NodeWatch.h"

#include "V4l2Devices.h"
#include "V4l2VideoDevice.h"

#include <QSocketNotifier>

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace capture {
V4l2NodeWatch::V4l2NodeWatch(std::shared_ptr<V4l2Io> io, std::string directory)
    : m_io(std::move(io)), m_directory(std::move(directory))
{
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0)
        return;
    // udev makes a node and then gives it its group and permissions (IN_ATTRIB): a node that
    // could not be opened at first is tried again then.
    constexpr std::uint32_t events = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO;
    if (inotify_add_watch(m_inotify, m_directory.c_str(), events) < 0) {
        ::close(m_inotify);
        m_inotify = -1;
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_inotify, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { readEvents(); });
}

V4l2NodeWatch::~V4l2NodeWatch()
{
    m_notifier.reset();
    if (m_inotify >= 0)
        ::close(m_inotify);
}

void V4l2NodeWatch::readEvents()
{
    bool nodesChanged = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t length = ::read(m_inotify, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            // /dev changes all the time; only video nodes matter. A lost queue may hide any.
            if ((event->mask & IN_Q_OVERFLOW) || (event->len > 0 && videoNodeNumber(event->name)))
                nodesChanged = true;
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (nodesChanged && m_changed)
        m_changed();
}

std::vector<std::unique_ptr<VideoDevice>> V4l2NodeWatch::update(DeviceCatalogue& catalogue)
{
    // The nodes there now, each with its place in node order (video2 before video10).
    const std::vector<std::string> nodes = videoNodePaths(m_directory);
    std::map<std::string, std::size_t> placeOf;
    for (std::size_t place = 0; place < nodes.size(); ++place)
        placeOf.emplace(nodes[place], place);

    std::vector<std::unique_ptr<VideoDevice>> gone;
    for (int index = 0; index < catalogue.videoCount();) {
        const VideoDevice& device = catalogue.video(index);
        if (!device.node().empty() && (!placeOf.count(device.node()) || !device.connected())) {
            gone.push_back(catalogue.takeVideo(index));
            continue;
        }
        ++index;
    }

    for (std::size_t place = 0; place < nodes.size(); ++place) {
        const std::string& path = nodes[place];
        if (catalogue.videoIndexOfNode(path) >= 0)
            continue;
        auto device = V4l2VideoDevice::open(m_io, path, {});
        if (!device)
            continue;  // not a capture node, or not ready yet: its next event tries again
        // After the devices of the nodes before it, which come first in the catalogue.
        int at = 0;
        for (; at < catalogue.videoCount(); ++at) {
            const auto listed = placeOf.find(catalogue.video(at).node());
            if (listed == placeOf.end() || listed->second > place)
                break;
        }
        catalogue.insertVideo(at, std::move(device));
    }
    return gone;
}

}  // namespace capture
