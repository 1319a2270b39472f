#pragma once

#include "ControlRig.h"

#include "capture/v4l2/V4l2Devices.h"
#include "capture/v4l2/V4l2NodeWatch.h"
#include "capture/v4l2/V4l2VideoDevice.h"
#include "tests/support/kernel/FakeV4l2Hardware.h"
#include "tests/support/kernel/FakeV4l2Io.h"

#include <QFile>
#include <QTemporaryDir>

#include <stdexcept>

namespace controltest {

// The real control on fake V4L2 cards: each card gets a video<N> node in a folder of its own,
// is found and opened as the program finds /dev/video*, and is listed before the built-in
// devices; cards plugged in and pulled out later are seen through the folder's inotify, as the
// program sees /dev. The cards' kernel side stays reachable for the checks.
class FakeHardwareRig {
public:
    explicit FakeHardwareRig(std::vector<capture::FakeV4l2Hardware> cards)
        : m_io(std::make_shared<capture::FakeV4l2Io>())
    {
        for (std::size_t i = 0; i < cards.size(); ++i)
            m_cards.push_back(plug(static_cast<int>(i), std::move(cards[i])));
        auto watch = std::make_unique<capture::V4l2NodeWatch>(m_io, m_nodes.path().toStdString());
        auto video = capture::openV4l2VideoDevices(m_io, m_nodes.path().toStdString());
        for (auto& device : video)
            m_opened.push_back(dynamic_cast<capture::V4l2VideoDevice*>(device.get()));
        std::vector<std::unique_ptr<capture::AudioDevice>> audio;
        m_orvex = std::make_unique<capture::Orvex>(
            capture::DeviceCatalogue::withBuiltInDevices(std::move(video), std::move(audio)),
            capture::EncoderCatalogue::fromRegistry(), std::move(watch));
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

    // A card plugged in as video<node> (a node made, as udev makes one), or pulled out (its
    // device gone, then its node).
    std::shared_ptr<capture::FakeV4l2Device> plug(int node, capture::FakeV4l2Hardware card)
    {
        auto device = m_io->add(nodePath(node).toStdString(), std::move(card));
        if (!QFile(nodePath(node)).open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot make the node " + nodePath(node).toStdString());
        return device;
    }
    void unplug(int node, capture::FakeV4l2Device& device)
    {
        device.unplug();
        QFile::remove(nodePath(node));
    }

    void choose(int device) { m_orvex->put(capture::Member::VideoDevice, capture::Value::i16(static_cast<std::int16_t>(device))); }

private:
    QString nodePath(int node) const { return m_nodes.filePath(QStringLiteral("video%1").arg(node)); }

    QTemporaryDir m_nodes;
    std::shared_ptr<capture::FakeV4l2Io> m_io;
    std::vector<std::shared_ptr<capture::FakeV4l2Device>> m_cards;
    std::vector<capture::V4l2VideoDevice*> m_opened;
    std::unique_ptr<capture::Orvex> m_orvex;
};

}  // namespace controltest
