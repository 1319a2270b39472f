#include "AudioSources.h"

#include "ServerSockets.h"
#include "SysfsDevice.h"
#include "capture/devices/DeviceFailure.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>

namespace capture {

namespace {

// A sound input as a device provider describes it.
class SoundSource final : public AudioDevice {
public:
    SoundSource(GstHandle<GstDevice> device, std::string name, std::optional<int> card, bool microphone)
        : m_device(std::move(device)), m_name(std::move(name)), m_card(card), m_microphone(microphone)
    {
    }

    std::string name() const override { return m_name; }
    std::optional<int> card() const { return m_card; }
    bool isMicrophone() const override { return m_microphone; }
    std::string physicalDevice() const override
    {
        return m_card ? physicalDeviceOfSoundCard(*m_card) : std::string();
    }

    ElementPtr createSource() override
    {
        ElementPtr source(gst_device_create_element(m_device.get(), nullptr));
        if (!source)
            throw DeviceError({.kind = DeviceFailure::Kind::MissingAudioSource, .device = m_name});
        return source;
    }

private:
    GstHandle<GstDevice> m_device;
    std::string m_name;
    std::optional<int> m_card;
    bool m_microphone;
};

struct Properties {
    explicit Properties(GstDevice* device) : structure(gst_device_get_properties(device)) {}
    ~Properties()
    {
        if (structure)
            gst_structure_free(structure);
    }
    Properties(const Properties&) = delete;
    Properties& operator=(const Properties&) = delete;

    std::string text(const char* key) const
    {
        const char* value = structure ? gst_structure_get_string(structure, key) : nullptr;
        return value ? value : "";
    }

    // The ALSA provider gives the card as a number; a sound server passes its own text.
    std::optional<int> number(const char* key) const
    {
        int value = 0;
        if (structure && gst_structure_get_int(structure, key, &value))
            return value;
        const std::string written = text(key);
        if (written.empty())
            return std::nullopt;
        char* end = nullptr;
        const long parsed = std::strtol(written.c_str(), &end, 10);
        return *end == '\0' && parsed >= 0 ? std::optional<int>(static_cast<int>(parsed)) : std::nullopt;
    }

    GstStructure* structure;
};

std::string displayName(GstDevice* device)
{
    gchar* name = gst_device_get_display_name(device);
    std::string text = name ? name : "";
    g_free(name);
    return text;
}

// How a provider is asked for its devices.
enum class Asking {
    // Started for the question and stopped again. Asked without starting, the sound server's
    // provider (GStreamer 1.22) leaves its main loop and three descriptors behind whenever no
    // server answers; its start cleans up after itself and fails.
    Started,
    // Asked without starting: PipeWire's provider (0.3.65) then connects, asks and disconnects
    // on the calling thread. Started, it runs a thread of its own, and stopping it while the
    // daemon's objects come and go corrupted the heap now and then (seen in the VM's PipeWire
    // session, at the provider's stop).
    Probed,
};

std::vector<GstHandle<GstDevice>> sourcesOf(const char* providerName, Asking asking = Asking::Started)
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    GstHandle<GstDeviceProvider> provider(gst_device_provider_factory_get_by_name(providerName));
    std::vector<GstHandle<GstDevice>> sources;
    if (!provider)
        return sources;  // its plugin is not installed
    if (asking == Asking::Started && !gst_device_provider_start(provider.get()))
        return sources;
    GList* list = gst_device_provider_get_devices(provider.get());
    for (GList* node = list; node; node = node->next) {
        GstHandle<GstDevice> device(GST_DEVICE(node->data));  // the list's reference moves in
        if (gst_device_has_classes(device.get(), "Audio/Source"))
            sources.push_back(std::move(device));
    }
    g_list_free(list);
    if (asking == Asking::Started)
        gst_device_provider_stop(provider.get());
    return sources;
}

std::unique_ptr<SoundSource> serverSource(GstHandle<GstDevice> device)
{
    const Properties properties(device.get());
    std::optional<int> card = properties.number("alsa.card");
    if (!card)
        card = properties.number("api.alsa.card");
    const std::string formFactor = properties.text("device.form_factor");
    const bool microphone = properties.text("device.class") != "monitor"
        && (formFactor == "microphone" || formFactor == "webcam" || formFactor == "headset"
            || formFactor == "handset");
    std::string name = displayName(device.get());
    return std::make_unique<SoundSource>(std::move(device), std::move(name), card, microphone);
}

// The PCM device's number from the ALSA provider's own address of it, "hw:CARD,DEVICE".
std::optional<int> pcmDevice(GstDevice* device)
{
    if (!g_object_class_find_property(G_OBJECT_GET_CLASS(device), "internal-name"))
        return std::nullopt;
    gchar* address = nullptr;
    g_object_get(device, "internal-name", &address, nullptr);
    const std::string text = address ? address : "";
    g_free(address);
    const auto comma = text.rfind(',');
    if (text.rfind("hw:", 0) != 0 || comma == std::string::npos)
        return std::nullopt;
    char* end = nullptr;
    const long number = std::strtol(text.c_str() + comma + 1, &end, 10);
    return *end == '\0' && end != text.c_str() + comma + 1 && number >= 0 ? std::optional<int>(static_cast<int>(number))
                                                                          : std::nullopt;
}

// The capture device's own name as the kernel gives it ("name: Loopback PCM"); empty when
// it does not say.
std::string pcmName(int card, int device)
{
    std::ifstream info("/proc/asound/card" + std::to_string(card) + "/pcm" + std::to_string(device) + "c/info");
    const std::string key = "name: ";
    for (std::string line; std::getline(info, line);)
        if (line.rfind(key, 0) == 0)
            return line.substr(key.size());
    return {};
}

AlsaCapture describeAlsaCapture(GstDevice* device)
{
    const Properties properties(device);
    AlsaCapture capture;
    // The device's own name is the card's long name with its port and interrupt numbers.
    capture.cardName = properties.text("alsa.card_name");
    if (capture.cardName.empty())
        capture.cardName = displayName(device);
    capture.card = properties.number("alsa.card");
    capture.device = pcmDevice(device);
    if (capture.card && capture.device)
        capture.deviceName = pcmName(*capture.card, *capture.device);
    return capture;
}

}  // namespace

std::vector<std::string> alsaCaptureNames(const std::vector<AlsaCapture>& captures)
{
    std::map<std::optional<int>, int> perCard;
    for (const AlsaCapture& capture : captures)
        if (capture.card)
            ++perCard[capture.card];
    std::vector<std::string> names;
    for (const AlsaCapture& capture : captures) {
        std::string name = capture.cardName;
        if (capture.card && perCard[capture.card] > 1 && capture.device) {
            if (!capture.deviceName.empty() && capture.deviceName != capture.cardName)
                name += ": " + capture.deviceName;
            name += " (device " + std::to_string(*capture.device) + ")";
        }
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::unique_ptr<AudioDevice>> audioSourcesOf(std::vector<GstHandle<GstDevice>> server,
                                                         std::vector<GstHandle<GstDevice>> alsa)
{
    std::vector<std::unique_ptr<AudioDevice>> sources;
    std::set<int> serverCards;
    for (auto& device : server) {
        auto source = serverSource(std::move(device));
        if (source->card())
            serverCards.insert(*source->card());
        sources.push_back(std::move(source));
    }
    // A card the server holds is busy for ALSA anyway.
    std::vector<GstHandle<GstDevice>> own;
    std::vector<AlsaCapture> captures;
    for (auto& device : alsa) {
        AlsaCapture capture = describeAlsaCapture(device.get());
        if (capture.card && serverCards.count(*capture.card))
            continue;
        captures.push_back(std::move(capture));
        own.push_back(std::move(device));
    }
    const std::vector<std::string> names = alsaCaptureNames(captures);
    for (std::size_t i = 0; i < own.size(); ++i)
        sources.push_back(std::make_unique<SoundSource>(std::move(own[i]), names[i], captures[i].card, false));
    return sources;
}

std::vector<std::unique_ptr<AudioDevice>> discoverAudioSources()
{
    // PipeWire's own plugin and its PulseAudio service show the same sources: one of them.
    std::vector<GstHandle<GstDevice>> server;
    if (pulseServerMayAnswer())
        server = sourcesOf("pulsedeviceprovider");
    if (server.empty() && pipeWireMayAnswer())
        server = sourcesOf("pipewiredeviceprovider", Asking::Probed);
    std::vector<GstHandle<GstDevice>> cards;
    if (soundCardMayAnswer())
        cards = sourcesOf("alsadeviceprovider");
    return audioSourcesOf(std::move(server), std::move(cards));
}

}  // namespace capture
