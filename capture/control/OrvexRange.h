#pragma once

#include "capture/contract/CaptureControl.h"
#include "capture/devices/CameraSettings.h"

namespace capture {

// A camera setting's range and value as read when the control handed it out, answered under
// that setting's own member numbers.
class OrvexRange : public CameraPropertyRange {
public:
    OrvexRange(Member property, SettingRange range);

    Member property() const override { return m_property; }
    Value get(int member) override;

private:
    Member m_property;
    SettingRange m_range;
};

}  // namespace capture
