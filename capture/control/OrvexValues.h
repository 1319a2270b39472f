#pragma once

#include "OrvexCollection.h"
#include "capture/contract/Member.h"
#include "capture/contract/Value.h"
#include "capture/devices/DeviceCatalogue.h"
#include "capture/devices/EncoderCatalogue.h"
#include "capture/devices/VideoFormat.h"

#include <QColor>

#include <cstdint>
#include <string>
#include <vector>

namespace capture {

// What the values put on the control and the collections it hands out are made of.

// An index put on the control, checked against the count of what it chooses from (`what`:
// "video device"...); raises CaptureError, saying what to do, when it names none.
int indexIn(Member member, const Value& value, int count, const char* what);

// BackgroundColor's value: a colour, or a number with red in the low byte.
std::uint32_t colourOf(const Value& value);
QColor qColour(std::uint32_t rgb);

std::vector<OrvexCollection::Entry> entriesOf(const std::vector<std::string>& names);
std::vector<OrvexCollection::Entry> entriesOf(const std::vector<EncoderInfo>& encoders);
std::vector<OrvexCollection::Entry> entriesOf(const std::vector<VideoFormat>& formats);
std::vector<OrvexCollection::Entry> videoDeviceEntries(const DeviceCatalogue& devices);
std::vector<OrvexCollection::Entry> audioDeviceEntries(const DeviceCatalogue& devices);

// Whether the index names an entry of the list.
template <typename List>
bool holds(const List& list, int index)
{
    return index >= 0 && index < static_cast<int>(list.size());
}

}  // namespace capture
