#include "V4l2FrameAssembly.h"

#include "V4l2PictureCopy.h"

#include "capture/devices/PictureFields.h"

#include <cerrno>
#include <utility>

namespace capture {
namespace {

void stamp(GstBuffer* frame, GstClockTime takenAt, GstClockTime duration, std::uint64_t number)
{
    GST_BUFFER_PTS(frame) = takenAt;
    GST_BUFFER_DURATION(frame) = duration;
    GST_BUFFER_OFFSET(frame) = number;
}

class CompressedPictures final : public FrameAssembler {
public:
    explicit CompressedPictures(GstClockTime frame) : m_frame(frame) {}
    AssembledFrame take(const V4l2Picture& picture, GstClockTime takenAt) override
    {
        GstBuffer* frame = gst_buffer_new_memdup(picture.data, picture.size);
        if (!frame)
            return {.failed = true};
        stamp(frame, takenAt, m_frame, picture.sequence);
        return {.frame = frame};
    }

private:
    GstClockTime m_frame;
};

class WholePictures final : public FrameAssembler {
public:
    WholePictures(const GstVideoInfo& info, GstClockTime frame) : m_info(info), m_frame(frame) {}
    AssembledFrame take(const V4l2Picture& picture, GstClockTime takenAt) override
    {
        GstBuffer* frame = gst_buffer_new_allocate(nullptr, m_info.size, nullptr);
        GstVideoFrame mapped;
        if (!frame || !gst_video_frame_map(&mapped, &m_info, frame, GST_MAP_WRITE)) {
            gst_clear_buffer(&frame);
            return {.failed = true};
        }
        const bool whole = copyPicture(picture.data, picture.size, picture.bytesPerLine, mapped);
        gst_video_frame_unmap(&mapped);
        if (!whole) {
            gst_buffer_unref(frame);
            return {};
        }
        stamp(frame, takenAt, m_frame, picture.sequence);
        return {.frame = frame};
    }

private:
    GstVideoInfo m_info;
    GstClockTime m_frame;
};

// Both fields in one buffer, all the lines of one and then all those of the other.
class FieldsInTurn final : public FrameAssembler {
public:
    FieldsInTurn(const GstVideoInfo& info, bool bottomStoredFirst, GstClockTime frame)
        : m_info(info), m_bottomStoredFirst(bottomStoredFirst), m_frame(frame)
    {
    }
    AssembledFrame take(const V4l2Picture& picture, GstClockTime takenAt) override
    {
        GstBuffer* frame = gst_buffer_new_allocate(nullptr, m_info.size, nullptr);
        if (!frame)
            return {.failed = true};
        if (!copyFieldsInTurn(picture.data, picture.size, picture.bytesPerLine, m_bottomStoredFirst, m_info, frame)) {
            gst_buffer_unref(frame);
            return {};
        }
        stamp(frame, takenAt, m_frame, picture.sequence);
        // A frame woven here says so itself: no element after the source has to guess.
        flagFieldOrder(frame, !m_bottomStoredFirst);
        return {.frame = frame};
    }

private:
    GstVideoInfo m_info;
    bool m_bottomStoredFirst;
    GstClockTime m_frame;
};

// Fields in buffers of their own: a first field begins a frame, held until its second completes
// it; the frame is stamped when its first field was taken. A field whose partner was lost is
// dropped.
class AlternateFields final : public FrameAssembler {
public:
    AlternateFields(const GstVideoInfo& info, bool topFirst, GstClockTime frame)
        : m_info(info), m_topFirst(topFirst), m_frame(frame)
    {
    }
    ~AlternateFields() override { gst_clear_buffer(&m_begun); }
    AlternateFields(const AlternateFields&) = delete;
    AlternateFields& operator=(const AlternateFields&) = delete;

    AssembledFrame take(const V4l2Picture& picture, GstClockTime takenAt) override
    {
        const bool bottom = picture.field == V4L2_FIELD_BOTTOM;
        if (!bottom && picture.field != V4L2_FIELD_TOP)
            return {};
        if (bottom != m_topFirst) {
            gst_clear_buffer(&m_begun);
            GstBuffer* frame = gst_buffer_new_allocate(nullptr, m_info.size, nullptr);
            if (!frame || !copyField(picture.data, picture.size, picture.bytesPerLine, bottom, m_info, frame)) {
                gst_clear_buffer(&frame);
                return {};
            }
            stamp(frame, takenAt, m_frame, picture.sequence / 2);
            flagFieldOrder(frame, m_topFirst);
            m_begun = frame;
            return {};
        }
        GstBuffer* frame = std::exchange(m_begun, nullptr);
        if (frame && !copyField(picture.data, picture.size, picture.bytesPerLine, bottom, m_info, frame))
            gst_clear_buffer(&frame);
        return {.frame = frame};
    }

private:
    GstVideoInfo m_info;
    bool m_topFirst;
    GstClockTime m_frame;
    GstBuffer* m_begun = nullptr;  // the frame begun by the last first field, until its second
};

}  // namespace

std::unique_ptr<FrameAssembler> frameAssemblerFor(const PictureLayout& layout)
{
    const std::uint32_t field = layout.driverField;
    const bool sequential = field == V4L2_FIELD_SEQ_TB || field == V4L2_FIELD_SEQ_BT;
    if (field == V4L2_FIELD_ALTERNATE) {
        if (!layout.raw)
            throw V4l2StreamError(V4l2StreamError::Step::FieldsApart, EINVAL);
        return std::make_unique<AlternateFields>(*layout.raw, layout.topFirst, layout.frameDuration);
    }
    if (sequential) {
        if (!layout.raw || GST_VIDEO_INFO_N_PLANES(layout.raw) != 1)
            throw V4l2StreamError(V4l2StreamError::Step::FieldsInTurn, EINVAL);
        return std::make_unique<FieldsInTurn>(*layout.raw, field == V4L2_FIELD_SEQ_BT, layout.frameDuration);
    }
    if (!layout.raw)
        return std::make_unique<CompressedPictures>(layout.frameDuration);
    return std::make_unique<WholePictures>(*layout.raw, layout.frameDuration);
}

}  // namespace capture
