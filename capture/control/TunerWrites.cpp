#include "TunerWrites.h"

#include "ViewNotices.h"
#include "capture/view/VideoView.h"

#include <QObject>

namespace capture {

void TunerWrites::giveSettings(Tuner& tuner, std::optional<double> channel, bool muted)
{
    bool refused = channel && tuner.tune(*channel) == TunerWrite::Busy;
    refused = tuner.setMute(muted) == TunerWrite::Busy || refused;
    if (refused)
        showHeld(QObject::tr("it did not take the channel and sound set before"));
}

bool TunerWrites::tune(Tuner* tuner, double channel)
{
    if (tuner && tuner->tune(channel) == TunerWrite::Busy) {
        showHeld(QObject::tr("the channel was not changed"));
        return false;
    }
    return true;
}

bool TunerWrites::mute(Tuner* tuner, bool muted)
{
    if (tuner && tuner->setMute(muted) == TunerWrite::Busy) {
        showHeld(muted ? QObject::tr("the sound was not muted") : QObject::tr("the sound was not turned on"));
        return false;
    }
    return true;
}

void TunerWrites::showHeld(const QString& consequence)
{
    m_view.showNotice(QObject::tr("The TV card is held by another program just now; %1.").arg(consequence),
                      noticeTime);
}

}  // namespace capture
