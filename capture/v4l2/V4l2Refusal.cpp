#include "V4l2Refusal.h"

#include "V4l2File.h"

namespace capture {

V4l2Refusal::V4l2Refusal(std::string device, Step step, std::string subject, int error,
                         std::optional<NodeHolder> holder)
    // For the log; the user is told in the control's words.
    : CaptureError(device + ": " + subject + ": " + errorText(error)), m_device(std::move(device)), m_step(step),
      m_subject(std::move(subject)), m_error(error), m_holder(std::move(holder))
{
}

}  // namespace capture
