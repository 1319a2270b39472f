#include "OrvexValues.h"

#include "capture/contract/CaptureError.h"

#include <cmath>

namespace capture {

int indexIn(Member member, const Value& value, int count, const char* what)
{
    const int index = toInt16(value);
    if (index < 0 || index >= count) {
        std::string choices = count == 0 ? std::string("there are none")
                                         : "the control lists " + std::to_string(count) + " (0 to "
                                               + std::to_string(count - 1) + ")";
        throw CaptureError(std::string(memberName(member)) + " " + std::to_string(index) + " names no " + what + ": "
                           + choices + ". Fetch " + what + "s again and pick one by its name.");
    }
    return index;
}

std::uint32_t colourOf(const Value& value)
{
    if (value.type() == ValueType::Colour)
        return value.colourValue();
    const double number = toDouble(value);
    if (!std::isfinite(number) || number < 0 || number > 0xFFFFFFFF)
        throw CaptureError("BackgroundColor takes a colour with red in the low byte, not "
                           + value.toString() + ".");
    return static_cast<std::uint32_t>(number);
}

QColor qColour(std::uint32_t rgb)
{
    return QColor(static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>((rgb >> 16) & 0xFF));
}

std::vector<OrvexCollection::Entry> entriesOf(const std::vector<std::string>& names)
{
    std::vector<OrvexCollection::Entry> entries;
    for (const auto& text : names)
        entries.push_back({text, std::nullopt});
    return entries;
}

std::vector<OrvexCollection::Entry> entriesOf(const std::vector<EncoderInfo>& encoders)
{
    std::vector<OrvexCollection::Entry> entries;
    for (const auto& encoder : encoders)
        entries.push_back({encoder.longName, std::nullopt});
    return entries;
}

std::vector<OrvexCollection::Entry> entriesOf(const std::vector<VideoFormat>& formats)
{
    std::vector<OrvexCollection::Entry> entries;
    for (const VideoFormat& format : formats)
        entries.push_back({format.name(), std::nullopt});
    return entries;
}

std::vector<OrvexCollection::Entry> videoDeviceEntries(const DeviceCatalogue& devices)
{
    std::vector<OrvexCollection::Entry> entries;
    for (int index = 0; index < devices.videoCount(); ++index)
        entries.push_back({devices.videoName(index), std::nullopt});
    return entries;
}

std::vector<OrvexCollection::Entry> audioDeviceEntries(const DeviceCatalogue& devices)
{
    std::vector<OrvexCollection::Entry> entries;
    for (int index = 0; index < devices.audioCount(); ++index)
        entries.push_back({devices.audioName(index), std::nullopt});
    return entries;
}

}  // namespace capture
