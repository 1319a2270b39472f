#include "Orvex.h"

#include "capture/engine/FailureMessage.h"
#include "OrvexCore.h"
#include "TracedControl.h"
#include "capture/devices/EncoderCatalogueCache.h"
#include "capture/v4l2/V4l2Discovery.h"
#include "capture/view/VideoView.h"

#include <QVBoxLayout>

namespace capture {

namespace {

// The layers below raise a device's refusal in fields; the caller is given it in words.
template <typename Call>
auto inWords(Call&& call)
{
    try {
        return call();
    } catch (const DeviceError& refusal) {
        throw CaptureError(deviceFailureMessage(refusal.failure()));
    }
}

}  // namespace

Orvex::Orvex(QWidget* parent) : Orvex(watchV4l2Nodes(), parent) {}

Orvex::Orvex(std::unique_ptr<DeviceWatch> watch, QWidget* parent)
    : Orvex(discoverDevices(), EncoderCatalogueCache().keptOrFound(), std::move(watch), parent)
{
}

Orvex::Orvex(DeviceCatalogue devices, EncoderCatalogue encoders, QWidget* parent)
    : Orvex(std::move(devices), std::move(encoders), nullptr, parent)
{
}

Orvex::Orvex(DeviceCatalogue devices, EncoderCatalogue encoders, std::unique_ptr<DeviceWatch> watch,
             QWidget* parent)
    : CaptureWidget(parent), m_view(new VideoView(this)),
      m_core(std::make_unique<OrvexCore>(std::move(devices), std::move(encoders), *m_view, std::move(watch)))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    m_front = m_core.get();
    if (auto log = TraceLog::fromEnvironment()) {
        m_traced = std::make_unique<TracedControl>(*m_core, std::move(log));
        m_front = m_traced.get();
    }
}

Orvex::~Orvex()
{
    // Before the view, which is a child widget and goes with the QWidget base.
    m_traced.reset();
    m_core.reset();
}

void Orvex::put(Member member, const Value& value)
{
    inWords([&] { m_front->put(member, value); });
}

Value Orvex::get(Member member)
{
    return inWords([&] { return m_front->get(member); });
}

Value Orvex::call(Member member, const Value& argument)
{
    return inWords([&] { return m_front->call(member, argument); });
}

std::unique_ptr<CaptureCollection> Orvex::collection(Member member)
{
    return inWords([&] { return m_front->collection(member); });
}

std::unique_ptr<CameraPropertyRange> Orvex::cameraProperty(Member member)
{
    return inWords([&] { return m_front->cameraProperty(member); });
}

}  // namespace capture
