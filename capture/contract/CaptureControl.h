#pragma once

#include "CaptureError.h"
#include "Member.h"
#include "Value.h"

#include <memory>

namespace capture {

// One item of a collection: a device, an input, a format, a compressor or a channel.
class CaptureItem {
public:
    virtual ~CaptureItem() = default;
    virtual Value name() = 0;       // member 1, text
    virtual Value available() = 0;  // member 2 on channel items (0 = not offered); others raise
};

// What the control hands out for devices, inputs, formats, compressors and channels. It is a
// snapshot of the control's state when it was fetched; callers fetch it anew each time.
class CaptureCollection {
public:
    virtual ~CaptureCollection() = default;

    // Enumeration, first to last.
    virtual int count() = 0;
    virtual std::unique_ptr<CaptureItem> item(int position) = 0;

    virtual Value indexOf(const Value& name) = 0;  // member 2: the index, -1 when absent
    // Member 4, on the video compressors only: False when the item has no page or the index
    // names no item. Other collections raise CaptureError.
    virtual Value showItemPropertyPage(const Value& index) = 0;
};

// The range object that a get of a camera setting (members 8 to 17) hands out. Supported is
// member 7 on all ten; Min, Max and Value are numbered per setting (see rangeNumbering), and a
// number the setting's object lacks raises CaptureError.
class CameraPropertyRange {
public:
    virtual ~CameraPropertyRange() = default;
    virtual Member property() const = 0;
    virtual Value get(int member) = 0;
};

namespace RangeMember {
constexpr int Supported = 7;
}

struct RangeNumbering {
    int min;
    int max;
    int value;
};

// Brightness 1, 2, 4; Contrast 3, 2, 5; the other eight 4, 3, 6. Raises for a member that is
// not a camera setting.
RangeNumbering rangeNumbering(Member property);

// The capture control as the windows see it. Every put and call is synchronous for its caller;
// a failing member raises CaptureError.
class CaptureControl {
public:
    virtual ~CaptureControl() = default;

    virtual void put(Member member, const Value& value) = 0;
    virtual Value get(Member member) = 0;  // plain gets: HasTVTuner
    // Start, Stop, SnapShot (path text), ShowPropertyPage.
    virtual Value call(Member member, const Value& argument = Value()) = 0;
    virtual std::unique_ptr<CaptureCollection> collection(Member member) = 0;
    virtual std::unique_ptr<CameraPropertyRange> cameraProperty(Member member) = 0;
};

// Calls visit(item) for each item of the collection, first to last.
template <typename Visit>
void forEachItem(CaptureCollection& collection, Visit&& visit)
{
    const int count = collection.count();
    for (int position = 0; position < count; ++position) {
        auto item = collection.item(position);
        visit(*item);
    }
}

}  // namespace capture
