#pragma once

#include "OrvexCollection.h"
#include "capture/contract/Member.h"
#include "capture/contract/Value.h"
#include "capture/devices/EncoderCatalogue.h"

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

}  // namespace capture
