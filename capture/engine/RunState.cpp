#include "RunState.h"

#include "EngineLog.h"

#include <QMetaObject>
#include <QObject>

#include <gst/gst.h>

namespace capture {

double MuxerInput::seconds() const
{
    const std::int64_t first = start, last = end;
    return first >= 0 && last > first ? static_cast<double>(last - first) / GST_SECOND : 0.0;
}

void RunState::notify(bool RunState::*flag)
{
    {
        std::lock_guard lock(mutex);
        this->*flag = true;
    }
    changed.notify_all();
}

void RunState::inputFed()
{
    {
        std::lock_guard lock(mutex);
        ++fedInputs;
    }
    changed.notify_all();
}

void RunState::fail(const PipelineFailure& failure)
{
    const bool recordOnly = failure.endsRecordingOnly();
    if (recordOnly) {
        qCInfo(lcEngine, "run %d: ending the recording, %s failed", number, culprit(failure).c_str());
        recordStopping = true;  // feed the muxer no more at once; the reserve takes the rest
    }

    std::lock_guard lock(mutex);
    if (startingUp) {
        if (!startFailure)
            startFailure = failure;
        changed.notify_all();
        return;
    }
    bool& reported = recordOnly ? reportedRecordFailure : reportedFatalFailure;
    if (reported || !context)
        return;
    reported = true;
    QMetaObject::invokeMethod(
        context.data(),
        [weak = weak_from_this(), failure] {
            if (auto self = weak.lock()) {
                std::function<void(const PipelineFailure&)> handler;
                {
                    std::lock_guard lock(self->mutex);
                    handler = self->onFailure;
                }
                if (handler)
                    handler(failure);
            }
        },
        Qt::QueuedConnection);
}

}  // namespace capture
