#pragma once

#include "capture/contract/CaptureWidget.h"
#include "capture/devices/DeviceCatalogue.h"
#include "capture/devices/DeviceWatch.h"
#include "capture/devices/EncoderCatalogue.h"

#include <memory>

namespace capture {

class OrvexCore;
class VideoView;

// The real capture control: the video area filling the widget, and the members behind it.
// When ORVEX_TRACE names a file, every call into the control or into an object it handed out
// is written there.
class Orvex : public CaptureWidget {
    Q_OBJECT
public:
    // Offers the devices this machine has, then the built-in virtual ones; V4L2 devices plugged
    // in or pulled out while it lives are listed or taken out.
    explicit Orvex(QWidget* parent = nullptr);
    Orvex(DeviceCatalogue devices, EncoderCatalogue encoders, QWidget* parent = nullptr);
    // With a watch that keeps the devices' catalogue in line with the machine.
    Orvex(DeviceCatalogue devices, EncoderCatalogue encoders, std::unique_ptr<DeviceWatch> watch,
          QWidget* parent = nullptr);
    ~Orvex() override;

    void put(Member member, const Value& value) override;
    Value get(Member member) override;
    Value call(Member member, const Value& argument = Value()) override;
    std::unique_ptr<CaptureCollection> collection(Member member) override;
    std::unique_ptr<CameraPropertyRange> cameraProperty(Member member) override;

    VideoView& view() const { return *m_view; }
    OrvexCore& core() const { return *m_core; }

private:
    // The watch starts before the machine is asked, so that no device comes unseen in between.
    Orvex(std::unique_ptr<DeviceWatch> watch, QWidget* parent);

    VideoView* m_view;
    std::unique_ptr<OrvexCore> m_core;
    std::unique_ptr<CaptureControl> m_traced;
    CaptureControl* m_front;
};

}  // namespace capture
