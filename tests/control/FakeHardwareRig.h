#pragma once

#include "ControlRig.h"

#include "capture/v4l2/V4l2Devices.h"
#include "capture/v4l2/V4l2VideoDevice.h"
#include "capture/v4l2/testing/FakeV4l2Hardware.h"
#include "capture/v4l2/testing/FakeV4l2Io.h"

#include <QFile>
#include <QTemporaryDir>

#include <stdexcept>

namespace controltest {

// The real control on fake V4L2 cards: each card gets a video<N> node in a folder of its own,
// is found and opened as the program finds /dev/video*, and is listed before the built-in
// devices. The cards' kernel side stays reachable for the checks.
class FakeHardwareRig {
public:
    explicit FakeHardwareRig(std::vector<capture::FakeV4l2Hardware> cards)
        : m_io(std::make_shared<capture::FakeV4l2Io>())
    {
        for (std::size_t i = 0; i < cards.size(); ++i) {
            const QString node = m_nodes.filePath(QStringLiteral("video%1").arg(i));
            if (!QFile(node).open(QIODevice::WriteOnly))
                throw std::runtime_error("cannot make the node " + node.toStdString());
            m_cards.push_back(m_io->add(node.toStdString(), std::move(cards[i])));
        }
        auto video = capture::openV4l2VideoDevices(m_io, m_nodes.path().toStdString());
        for (auto& device : video)
            m_opened.push_back(dynamic_cast<capture::V4l2VideoDevice*>(device.get()));
        std::vector<std::unique_ptr<capture::AudioDevice>> audio;
        m_orvex = std::make_unique<capture::Orvex>(
            capture::DeviceCatalogue::withBuiltInDevices(std::move(video), std::move(audio)),
            capture::EncoderCatalogue::fromRegistry());
        m_orvex->resize(320, 240);
    }

    // A camera at index 0 and a TV card at index 1.
    static std::vector<capture::FakeV4l2Hardware> cameraAndTvCard(bool lowUnits = false)
    {
        return {capture::fakeUvcCamera(), capture::fakeTvCard(lowUnits)};
    }

    capture::Orvex& orvex() { return *m_orvex; }
    capture::FakeV4l2Device& card(int index) { return *m_cards.at(static_cast<std::size_t>(index)); }
    capture::V4l2VideoDevice& opened(int index) { return *m_opened.at(static_cast<std::size_t>(index)); }

    capture::V4l2Tuner& tuner(int index)
    {
        if (!opened(index).v4l2Tuner())
            throw std::logic_error("this fake card has no tuner");
        return *opened(index).v4l2Tuner();
    }
    std::uint32_t frequency(int index)
    {
        return card(index).frequency(card(index).hardware().tuners.front().index);
    }

    void choose(int device) { m_orvex->put(capture::Member::VideoDevice, capture::Value::i16(static_cast<std::int16_t>(device))); }

private:
    QTemporaryDir m_nodes;
    std::shared_ptr<capture::FakeV4l2Io> m_io;
    std::vector<std::shared_ptr<capture::FakeV4l2Device>> m_cards;
    std::vector<capture::V4l2VideoDevice*> m_opened;
    std::unique_ptr<capture::Orvex> m_orvex;
};

}  // namespace controltest
