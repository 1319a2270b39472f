#include "GraphElements.h"

#include "capture/gst/GstHandle.h"

#include <atomic>
#include <mutex>

namespace capture {

namespace {

std::once_flag prepared;
std::atomic<bool> begun{false};

}  // namespace

void prepareGraphElements()
{
    std::call_once(prepared, [] {
        begun = true;
        if (!gst_is_initialized())
            gst_init(nullptr, nullptr);
        for (const char* factory : {"queue", "tee", "capsfilter", "videoconvert", "videorate", "deinterlace",
                                    "appsink", "audiotestsrc", "audioconvert", "audioresample", "audiorate", "avimux",
                                    "jpegenc", "jpegdec"})
            const ElementPtr made(gst_element_factory_make(factory, nullptr));
    });
}

void leaveGraphElementsToAnotherThread()
{
    begun = true;
}

void prepareGraphElementsUnlessBegun()
{
    if (!begun)
        prepareGraphElements();
}

}  // namespace capture
