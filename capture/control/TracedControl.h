#pragma once

#include "TraceLog.h"
#include "capture/contract/CaptureControl.h"

#include <memory>

namespace capture {

// Writes every call into a control, and into the collections, items and ranges it hands out,
// to a trace log, then passes it on. A call that fails is written as it was asked, without a
// result, and the failure passes on unchanged.
class TracedControl : public CaptureControl {
public:
    TracedControl(CaptureControl& inner, std::shared_ptr<TraceLog> log);

    void put(Member member, const Value& value) override;
    Value get(Member member) override;
    Value call(Member member, const Value& argument) override;
    std::unique_ptr<CaptureCollection> collection(Member member) override;
    std::unique_ptr<CameraPropertyRange> cameraProperty(Member member) override;

private:
    CaptureControl& m_inner;
    std::shared_ptr<TraceLog> m_log;
};

}  // namespace capture
