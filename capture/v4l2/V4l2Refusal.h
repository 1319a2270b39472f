#pragma once

#include "NodeHolder.h"
#include "capture/contract/CaptureError.h"

#include <optional>
#include <string>

namespace capture {

// A V4L2 device refused a step of getting ready to stream. Carries what happened, not what the
// user is told: the control words that (FailureMessage.h).
class V4l2Refusal : public CaptureError {
public:
    enum class Step { SelectInput, SetStandard, SetFormat };

    // `subject` is what the step concerns: the input's or the format's name.
    V4l2Refusal(std::string device, Step step, std::string subject, int error, std::optional<NodeHolder> holder);

    const std::string& device() const { return m_device; }
    Step step() const { return m_step; }
    const std::string& subject() const { return m_subject; }
    int error() const { return m_error; }
    // Who streams from the node, for EBUSY, when that could be told.
    const std::optional<NodeHolder>& holder() const { return m_holder; }

private:
    std::string m_device;
    Step m_step;
    std::string m_subject;
    int m_error;
    std::optional<NodeHolder> m_holder;
};

}  // namespace capture
