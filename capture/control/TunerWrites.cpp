#include "TunerWrites.h"

#include "ViewNotices.h"
#include "capture/view/VideoView.h"


namespace capture {

void TunerWrites::giveSettings(Tuner& tuner, std::optional<double> channel, bool muted)
{
    bool refused = channel && tuner.tune(*channel) == TunerWrite::Busy;
    refused = tuner.setMute(muted) == TunerWrite::Busy || refused;
    if (refused)
        showHeld(HeldWrite::TunerSettings);
}

bool TunerWrites::tune(Tuner* tuner, double channel)
{
    if (tuner && tuner->tune(channel) == TunerWrite::Busy) {
        showHeld(HeldWrite::Channel);
        return false;
    }
    return true;
}

bool TunerWrites::mute(Tuner* tuner, bool muted)
{
    if (tuner && tuner->setMute(muted) == TunerWrite::Busy) {
        showHeld(muted ? HeldWrite::Mute : HeldWrite::Unmute);
        return false;
    }
    return true;
}

void TunerWrites::showHeld(HeldWrite what)
{
    m_view.showNotice(QString::fromStdString(heldTunerMessage(what)), noticeTime);
}

}  // namespace capture
