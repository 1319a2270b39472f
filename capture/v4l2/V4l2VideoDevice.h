#pragma once

#include "V4l2DeviceControls.h"
#include "V4l2File.h"
#include "V4l2Formats.h"
#include "V4l2Inputs.h"
#include "V4l2Tuner.h"
#include "PipeWireCameras.h"
#include "capture/devices/DeviceFailure.h"
#include "capture/devices/VideoDevice.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace capture {

// A V4L2 capture node: a webcam or a TV card. Keeps its own descriptor open for the settings
// and the tuner, which stay usable while v4l2src streams from the same node.
class V4l2VideoDevice final : public VideoDevice {
public:
    // Nothing when the node cannot be opened or does not capture video (a UVC camera's
    // metadata node, an output, a radio). An empty name takes the card's own (or
    // the path, for a card without one).
    static std::unique_ptr<V4l2VideoDevice> open(std::shared_ptr<V4l2Io> io, const std::string& path,
                                                 std::string displayName, V4l2Tuner::Sleep sleep = {});

    std::string name() const override { return m_name; }
    std::vector<std::string> inputs() override;
    std::vector<VideoFormat> formats(int input) override;
    DeviceControls& controls() override { return *m_controls; }
    Tuner* tuner() override { return m_tuner.get(); }
    // Through PipeWire when a PipeWire session manages the camera (pipeWireCameraFor), so
    // that other programs can take its pictures at the same time; directly otherwise.
    ElementPtr createSource(int input, const VideoFormat& format) override;
    // Whether PipeWire manages the camera now, and its camera inputs' pictures come through it.
    bool sharedThroughPipeWire() const override;
    std::string physicalDevice() const override;

    V4l2Tuner* v4l2Tuner() { return m_tuner.get(); }
    const std::string& path() const { return m_file.path(); }
    std::string node() const override { return m_file.path(); }
    std::string identity() const override { return m_identity; }
    // False once the device was pulled out: its node answers ENODEV from then on.
    bool connected() const override;
    bool isVirtualCamera() const override { return m_virtualCamera; }

    // What createSource sets on the device before it builds the element: the input, the
    // chosen TV standard (on inputs that have standards) and the pixel format and size.
    // Raises DeviceError when the device refuses a step or lacks the choice;
    // answers the format as the device has it.
    V4l2FormatChoice prepareStreaming(int input, const VideoFormat& format);

private:
    V4l2VideoDevice(V4l2File file, std::string name);

    // True but for a virtual camera that no program feeds now; reads a virtual camera's inputs anew.
    bool fed();
    // The camera's PipeWire node when this input in this format is to be streamed through it.
    std::optional<PipeWireCamera> pipeWireCameraFor(int input, const VideoFormat& format) const;
    // What createSource sets on the device before it takes the pictures through PipeWire: the
    // input only; PipeWire sets the format. Raises DeviceError as prepareStreaming does, and
    // when a program other than PipeWire streams the camera.
    const VideoFormat& prepareSharing(int input, const VideoFormat& format);
    // Who streams the node now, where this user may see it (NodeHolder).
    std::optional<NodeHolder> streamingHolder() const;
    [[noreturn]] void fail(DeviceFailure::Step step, const std::string& value, int error) const;
    // 0, or the errno of the refused switch (EBUSY while the node streams).
    int selectInput(const V4l2InputInfo& input);
    // Lets go of the right to stream (see the definition); true when the driver refused, as
    // another open holds the node's buffers: it streams, or PipeWire keeps the camera.
    bool releaseStreamingRight();

    // Declared first: the controls and the tuner use it until they go.
    V4l2File m_file;
    std::string m_name;
    std::string m_identity;
    bool m_virtualCamera = false;
    std::vector<V4l2InputInfo> m_inputs;
    // The formats last listed for each input, for when the node cannot switch to it.
    std::map<int, std::vector<VideoFormat>> m_formats;
    std::unique_ptr<V4l2DeviceControls> m_controls;
    std::unique_ptr<V4l2Tuner> m_tuner;
};

}  // namespace capture
