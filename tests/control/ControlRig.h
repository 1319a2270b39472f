#pragma once

#include "capture/devices/DeviceCatalogue.h"
#include "capture/devices/EncoderCatalogue.h"
#include "capture/devices/virtual/VirtualDevices.h"
#include "capture/control/Orvex.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace controltest {

// The built-in devices only, so that every test sees the same catalogue on any machine.
inline capture::DeviceCatalogue virtualCatalogue()
{
    capture::VirtualDevices devices = capture::createVirtualDevices();
    std::vector<std::unique_ptr<capture::VideoDevice>> video;
    video.push_back(std::move(devices.camera));
    video.push_back(std::move(devices.tuner));
    std::vector<std::unique_ptr<capture::AudioDevice>> audio;
    audio.push_back(std::move(devices.tone));
    return capture::DeviceCatalogue(std::move(video), std::move(audio));
}

inline std::unique_ptr<capture::Orvex> virtualOrvex()
{
    auto orvex = std::make_unique<capture::Orvex>(virtualCatalogue(), capture::EncoderCatalogue::fromRegistry());
    orvex->resize(320, 240);
    return orvex;
}

inline std::vector<std::string> names(capture::CaptureCollection& collection)
{
    std::vector<std::string> list;
    capture::forEachItem(collection, [&](capture::CaptureItem& item) { list.push_back(capture::toText(item.name())); });
    return list;
}

inline std::vector<std::string> names(capture::CaptureControl& control, capture::Member member)
{
    auto collection = control.collection(member);
    return names(*collection);
}

inline int indexOf(capture::CaptureControl& control, capture::Member member, const std::string& name)
{
    return capture::toInt16(control.collection(member)->indexOf(capture::Value::text(name)));
}

// Pages are modal: this acts on the next one that opens (and must close it), so a test can go
// on past exec().
inline void whenModalOpens(std::function<void(QDialog&)> act)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(*dialog);
        }
    });
    poll->start(20);
}

}  // namespace controltest
