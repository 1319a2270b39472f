#include "GstVideoDevice.h"

#include "capture/contract/CaptureError.h"

#include <algorithm>

namespace capture {

namespace {

class NoCameraSettings : public CameraSettings {
public:
    SettingRange range(Member) override { return {}; }
    SettingWrite set(Member, std::int32_t) override { return SettingWrite::Unsupported; }
};

std::string displayName(GstDevice* device)
{
    gchar* name = gst_device_get_display_name(device);
    std::string text = name ? name : "";
    g_free(name);
    return text;
}

std::vector<std::string> stringsOf(const GValue* value)
{
    std::vector<std::string> strings;
    if (!value)
        return strings;
    if (G_VALUE_HOLDS_STRING(value)) {
        strings.emplace_back(g_value_get_string(value));
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            for (auto& text : stringsOf(gst_value_list_get_value(value, i)))
                strings.push_back(std::move(text));
    }
    return strings;
}

struct Rate {
    int numerator;
    int denominator;
};

std::vector<Rate> ratesOf(const GValue* value)
{
    std::vector<Rate> rates;
    if (!value)
        return rates;
    if (GST_VALUE_HOLDS_FRACTION(value)) {
        rates.push_back({gst_value_get_fraction_numerator(value), gst_value_get_fraction_denominator(value)});
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(value)) {
        const GValue* fastest = gst_value_get_fraction_range_max(value);
        rates.push_back({gst_value_get_fraction_numerator(fastest), gst_value_get_fraction_denominator(fastest)});
    } else if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            for (Rate rate : ratesOf(gst_value_list_get_value(value, i)))
                rates.push_back(rate);
    }
    return rates;
}

std::vector<std::string> pixelFormatsOf(const GstStructure* structure)
{
    if (gst_structure_has_name(structure, "image/jpeg"))
        return {"MJPG"};
    if (gst_structure_has_name(structure, "video/x-raw"))
        return stringsOf(gst_structure_get_value(structure, "format"));
    return {};
}

}  // namespace

CapsPtr capsForFormat(const VideoFormat& format)
{
    GstCaps* caps = format.pixelFormat == "MJPG"
        ? gst_caps_new_simple("image/jpeg", nullptr, nullptr)
        : gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, format.pixelFormat.c_str(), nullptr);
    gst_caps_set_simple(caps, "width", G_TYPE_INT, format.width, "height", G_TYPE_INT, format.height,
                        "framerate", GST_TYPE_FRACTION, format.fpsNumerator, format.fpsDenominator,
                        nullptr);
    return CapsPtr(caps);
}

std::vector<VideoFormat> GstVideoDevice::formatsFromCaps(const GstCaps* caps)
{
    std::vector<VideoFormat> formats;
    if (!caps)
        return formats;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        int width = 0;
        int height = 0;
        if (!gst_structure_get_int(structure, "width", &width)
            || !gst_structure_get_int(structure, "height", &height))
            continue;
        for (const std::string& pixelFormat : pixelFormatsOf(structure)) {
            for (Rate rate : ratesOf(gst_structure_get_value(structure, "framerate"))) {
                if (rate.numerator <= 0 || rate.denominator <= 0)
                    continue;
                VideoFormat format{pixelFormat, width, height, rate.numerator, rate.denominator};
                if (std::find(formats.begin(), formats.end(), format) == formats.end())
                    formats.push_back(format);
            }
        }
    }
    return formats;
}

GstVideoDevice::GstVideoDevice(GstHandle<GstDevice> device)
    : m_device(std::move(device)), m_name(displayName(m_device.get())),
      m_settings(std::make_unique<NoCameraSettings>())
{
    CapsPtr caps(gst_device_get_caps(m_device.get()));
    m_formats = formatsFromCaps(caps.get());
}

GstVideoDevice::~GstVideoDevice() = default;

std::string GstVideoDevice::name() const { return m_name; }

std::vector<std::string> GstVideoDevice::inputs() { return {"Camera"}; }

std::vector<VideoFormat> GstVideoDevice::formats(int input)
{
    return input == 0 ? m_formats : std::vector<VideoFormat>{};
}

CameraSettings& GstVideoDevice::settings() { return *m_settings; }

ElementPtr GstVideoDevice::createSource(int, const VideoFormat& format)
{
    ElementPtr source(gst_device_create_element(m_device.get(), nullptr));
    ElementPtr filter(gst_element_factory_make("capsfilter", nullptr));
    ElementPtr bin(gst_bin_new(nullptr));
    if (!source || !filter || !bin)
        throw CaptureError("The video device \"" + m_name + "\" cannot be opened: its GStreamer "
                           "source is missing. Check that the video4linux plugin is installed.");
    CapsPtr caps = capsForFormat(format);
    g_object_set(filter.get(), "caps", caps.get(), nullptr);

    // The bin adds references of its own; the handles drop theirs on the way out.
    gst_bin_add_many(GST_BIN(bin.get()), source.get(), filter.get(), nullptr);
    if (!gst_element_link(source.get(), filter.get()))
        throw CaptureError("The video device \"" + m_name + "\" does not offer " + format.name()
                           + ". Choose another format.");
    PadPtr pad(gst_element_get_static_pad(filter.get(), "src"));
    gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", pad.get()));
    return bin;
}

}  // namespace capture
