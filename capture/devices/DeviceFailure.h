#pragma once

#include "capture/contract/CaptureError.h"

#include <optional>
#include <string>
#include <vector>

namespace capture {

// A process that has a device node open.
struct NodeHolder {
    std::string program;  // its command name, as ps shows it
    int pid = 0;
};

// What a device, or the GStreamer part that stands for it, refused: the step, the device, the
// errno and the values involved, never the words. The control's catalogue (FailureMessage.h)
// says it to the user; what() is a short text for logs.
struct DeviceFailure {
    enum class Kind {
        MissingElement,      // element: the factory; plugins: which to install
        MissingAudioSource,  // device
        NoSuchInput,         // device, number; a built-in device's inputs
        FormatNotOffered,    // device, format; a real device's input
        FormatNotDescribed,  // device, format
        VideoStepRefused,    // device, step; value: the input or format; error
        TuneRefused,         // value: the channel's label; error
        MuteRefused,         // muted; error
        ToneFormatRefused,   // device
        VirtualSourceUnlinked,  // element: from; value: to
        V4l2SourceUnlinked,
        SoundUnrouted,
        StreamRefused,       // device: the node; streamStep; error
        NotFed,              // device: a virtual camera no program feeds yet
    };
    enum class Plugins { BaseAndGood, Any };
    enum class Step { SwitchInput, TakeStandard, TakeFormat };
    // Streaming on a node of its own: the steps the driver refused first, then what went wrong
    // once it streamed.
    enum class StreamStep {
        Open, TakeFormat, OtherFormat, FieldsApart, SeveralPlanes, GiveBuffers, TooFewBuffers, DescribeBuffers,
        MapBuffers, TakeBuffersBack, StartStreaming,
        NoFixedFormat, NoLayout, WaitOn, Gone, StoppedDelivering, StreamFault, CopyFailed, FieldsInTurn
    };

    Kind kind = Kind::MissingElement;
    std::string device{};   // the name the user chose it by
    bool builtIn = false;  // a built-in device: named without quotes, as "the Test Pattern Camera"
    std::string element{};
    std::string format{};
    std::string input{};
    std::vector<std::string> inputs{};
    std::string value{};
    Plugins plugins = Plugins::BaseAndGood;
    Step step = Step::SwitchInput;
    StreamStep streamStep = StreamStep::Open;
    int number = 0;
    int error = 0;  // errno
    bool muted = false;
    std::optional<NodeHolder> holder{};  // who streams from a busy node, when that could be told
};

// Raised where a device refuses; the control turns it into the user's words before a caller
// sees it.
class DeviceError : public CaptureError {
public:
    explicit DeviceError(DeviceFailure failure);
    const DeviceFailure& failure() const { return m_failure; }

private:
    DeviceFailure m_failure;
};

}  // namespace capture
