#include "FailureMessage.h"

#include <QCoreApplication>
#include <QString>

#include <cerrno>
#include <cstring>

namespace capture {

namespace {

using Part = PipelineFailure::Part;
using Kind = DeviceFailure::Kind;

QString tr(const char* text)
{
    return QCoreApplication::translate("FailureMessage", text);
}

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

// The system's words for an errno value.
QString errorText(int error)
{
    char buffer[256];
    // The GNU variant may return a static string instead of filling the buffer.
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

QString quoted(const std::string& name)
{
    return name.empty() ? QString() : QStringLiteral(" \"%1\"").arg(q(name));
}

// ---- Advice: what to do next, by the part that failed or by the device's errno.

// "in use by v4l2-ctl (process 4242)", or that the holder cannot be told.
QString holderWords(const std::optional<NodeHolder>& holder)
{
    if (!holder)
        return tr("in use by another program, which cannot be told (it may run as another user)");
    if (holder->program == "pipewire")
        return tr("in use by another program through PipeWire");
    return tr("in use by %1 (process %2)").arg(q(holder->program)).arg(holder->pid);
}

// What to do about what the device answered, where its answer says more than the failure.
QString adviceForDeviceError(const PipelineFailure& failure)
{
    switch (failure.deviceError) {
    case EBUSY:
        return tr(" It is %1: close that program and start again.").arg(holderWords(failure.holder));
    case ENOSPC:
        return tr(" Its USB connection has no room for this format: choose a smaller format or Motion JPEG, or "
                  "connect the camera to another USB port, then start again.");
    case EACCES:
    case EPERM:
        return tr(" You are not allowed to use it: ask for access to video devices (the video group).");
    }
    return {};
}

QString adviceForPart(const PipelineFailure& failure)
{
    if (QString words = adviceForDeviceError(failure); !words.isEmpty())
        return words;
    if (failure.diskFull)
        return tr(" Free some space or choose another disk, then record again.");
    if (failure.deviceGone)
        return tr(" Connect it again and choose it in the device list, or choose another device.");
    switch (failure.part) {
    case Part::VideoSource:
        if (failure.deviceError != 0)
            return tr(" Choose another device, input or format and start again.");
        [[fallthrough]];
    case Part::AudioSource:
        return tr(" Check that the device is connected and not in use by another program, then start again.");
    case Part::Encoder:
        return failure.notNegotiated ? tr(" Choose another picture format or another compressor, then record again.")
                                     : tr(" Choose another compressor, then record again.");
    case Part::File:
        return tr(" Choose another file or folder, then record again.");
    case Part::Preview:
        return tr(" Start the preview again.");
    }
    return {};
}

QString adviceForError(int error)
{
    switch (error) {
    case ENODEV:
    case ENOENT:
    case ENXIO:
        return tr("It is no longer connected: connect it again, choose it in the device list and start again.");
    case EACCES:
    case EPERM:
        return tr("You are not allowed to use it: ask for access to video devices (the video group).");
    default:
        return tr("Choose another device, input or format and start again.");
    }
}

// ---- Streaming failures.

QString whatFailed(const PipelineFailure& failure, bool recording)
{
    if (failure.diskFull)
        return tr("The disk is full, so the recording was stopped.");
    const QString who = quoted(failure.element);
    const QString said = q(failure.text);
    if (failure.deviceGone)
        return (failure.part == Part::VideoSource ? tr("The video device%1 is no longer connected (%2)")
                                                  : tr("The audio device%1 is no longer connected (%2)"))
                   .arg(who, said)
               + (recording ? tr("; the recording was stopped.") : QStringLiteral("."));
    switch (failure.part) {
    case Part::VideoSource:
        return tr("The video device%1 stopped delivering pictures (%2).").arg(who, said);
    case Part::AudioSource:
        // A TV preview plays its sound without recording it.
        return tr("The audio device%1 stopped delivering sound (%2)").arg(who, said)
               + (recording ? tr("; the recording was stopped.") : QStringLiteral("."));
    case Part::Preview:
        return tr("The preview stopped: its element%1 failed (%2).").arg(who, said);
    case Part::Encoder:
        return tr("The recording was stopped: the encoder%1 failed (%2).").arg(who, said);
    case Part::File:
        return tr("The recording was stopped: the file%1 could not be written (%2).").arg(who, said);
    }
    return tr("The recording was stopped (%1).").arg(said);
}

QString whatWasSaved(const CaptureStats& stats, bool closed)
{
    const QString seconds = QString::number(stats.recordedSeconds, 'f', 1);
    const QString megabytes = QString::number(static_cast<double>(stats.bytesWritten) / 1e6, 'f', 1);
    return (closed ? tr(" %1 seconds (%2 MB) were saved to \"%3\".")
                   : tr(" %1 seconds (%2 MB) were saved to \"%3\"; the file could not be closed properly, some "
                        "players may not read all of it."))
        .arg(seconds, megabytes, q(stats.fileName));
}

// ---- A device's refusals, one function a kind.

QString missingElement(const DeviceFailure& failure)
{
    return (failure.plugins == DeviceFailure::Plugins::BaseAndGood
                ? tr("The GStreamer element \"%1\" is missing. Install GStreamer's base and good plugins "
                     "(gstreamer1.0-plugins-base, gstreamer1.0-plugins-good), then try again.")
                : tr("The GStreamer element \"%1\" is missing. Install the GStreamer plugins, then try again."))
        .arg(q(failure.element));
}

QString missingAudioSource(const DeviceFailure& failure)
{
    return tr("The audio device \"%1\" cannot be opened: its GStreamer source is missing. Install the GStreamer "
              "ALSA and PulseAudio plugins.")
        .arg(q(failure.device));
}

// A built-in device names its inputs; a real one lists them in the input list.
QString noSuchInput(const DeviceFailure& failure)
{
    const QString number = QString::number(failure.number);
    if (!failure.builtIn)
        return tr("The video device \"%1\" has no input %2. Choose one of its inputs.").arg(q(failure.device), number);
    if (failure.inputs.size() == 1)
        return tr("The %1 has no input %2; its only input is \"%3\".")
            .arg(q(failure.device), number, q(failure.inputs.front()));
    return tr("The %1 has no input %2; its inputs are \"%3\" and \"%4\".")
        .arg(q(failure.device), number, q(failure.inputs.front()), q(failure.inputs.back()));
}

QString formatNotOffered(const DeviceFailure& failure)
{
    if (failure.builtIn)
        return tr("The %1 cannot deliver \"%2\". Choose one of the formats it lists.")
            .arg(q(failure.device), q(failure.format));
    return tr("The video device \"%1\" does not offer the format \"%2\" on the input \"%3\". Choose one of the "
              "formats it lists.")
        .arg(q(failure.device), q(failure.format), q(failure.input));
}

QString formatNotDescribed(const DeviceFailure& failure)
{
    return tr("The %1 cannot describe \"%2\".").arg(q(failure.device), q(failure.format));
}

// "did not take the format \"YUY2 640x480 30 fps\"": the step a device refused.
QString refusedStep(const DeviceFailure& failure)
{
    switch (failure.step) {
    case DeviceFailure::Step::SwitchInput: return tr("did not switch to the input \"%1\"").arg(q(failure.value));
    case DeviceFailure::Step::TakeStandard: return tr("did not take the TV standard");
    case DeviceFailure::Step::TakeFormat: return tr("did not take the format \"%1\"").arg(q(failure.value));
    }
    return {};
}

QString videoStepRefused(const DeviceFailure& failure)
{
    const QString advice = failure.error == EBUSY
        ? tr("It is %1: close that program and start again.").arg(holderWords(failure.holder))
        : adviceForError(failure.error);
    return tr("The video device \"%1\" %2 (%3). %4")
        .arg(q(failure.device), refusedStep(failure), errorText(failure.error), advice);
}

QString tuneRefused(const DeviceFailure& failure)
{
    return tr("The TV card did not tune to channel %1: %2. Close other programs that use the card and choose the "
              "channel again.")
        .arg(q(failure.value), errorText(failure.error));
}

QString muteRefused(const DeviceFailure& failure)
{
    return (failure.muted ? tr("The TV card did not mute its sound: %1. Close other programs that use the card and "
                               "try again.")
                          : tr("The TV card did not unmute its sound: %1. Close other programs that use the card "
                               "and try again."))
        .arg(errorText(failure.error));
}

QString toneFormatRefused(const DeviceFailure& failure)
{
    return tr("The %1 cannot produce 48 kHz stereo sound.").arg(q(failure.device));
}

QString virtualSourceUnlinked(const DeviceFailure& failure)
{
    return tr("Cannot link the virtual source's %1 to %2.").arg(q(failure.element), q(failure.value));
}

// What the node did, as "The video device \"/dev/video0\" ..." goes on: the steps of setting up
// with the driver's errno, then what went wrong while streaming.
QString streamStep(const DeviceFailure& failure)
{
    using Step = DeviceFailure::StreamStep;
    const QString error = errorText(failure.error);
    switch (failure.streamStep) {
    case Step::Open: return tr("could not be opened (%1)").arg(error);
    case Step::TakeFormat: return tr("did not take the format (%1)").arg(error);
    case Step::OtherFormat: return tr("set another picture size or pixel format than the one chosen (%1)").arg(error);
    case Step::FieldsApart: return tr("sends only one field of each picture, which is not supported (%1)").arg(error);
    case Step::SeveralPlanes: return tr("sends this format in several buffers, which is not supported (%1)").arg(error);
    case Step::GiveBuffers: return tr("did not give buffers to stream with (%1)").arg(error);
    case Step::TooFewBuffers: return tr("gave too few buffers to stream with (%1)").arg(error);
    case Step::DescribeBuffers: return tr("did not describe its buffers (%1)").arg(error);
    case Step::MapBuffers: return tr("its buffers could not be mapped (%1)").arg(error);
    case Step::TakeBuffersBack: return tr("did not take its buffers back (%1)").arg(error);
    case Step::StartStreaming: return tr("did not start streaming (%1)").arg(error);
    case Step::NoFixedFormat: return tr("was given no fixed format to stream");
    case Step::NoLayout: return tr("was given a format GStreamer cannot lay out");
    case Step::WaitOn: return tr("could not be waited on");
    case Step::Gone: return tr("is no longer connected");
    case Step::StoppedDelivering: return tr("stopped delivering pictures");
    case Step::StreamFault: return tr("reported an error while streaming");
    case Step::CopyFailed: return tr("gave a picture that could not be copied");
    case Step::FieldsInTurn:
        return tr("sends the two fields of each picture one after the other in this format, which is not supported; "
                  "choose a packed format such as YUY2 or UYVY");
    }
    return error;
}

QString streamRefused(const DeviceFailure& failure)
{
    return tr("The video device \"%1\" %2.").arg(q(failure.device), streamStep(failure));
}

QString deviceWords(const DeviceFailure& failure)
{
    switch (failure.kind) {
    case Kind::MissingElement: return missingElement(failure);
    case Kind::MissingAudioSource: return missingAudioSource(failure);
    case Kind::NoSuchInput: return noSuchInput(failure);
    case Kind::FormatNotOffered: return formatNotOffered(failure);
    case Kind::FormatNotDescribed: return formatNotDescribed(failure);
    case Kind::VideoStepRefused: return videoStepRefused(failure);
    case Kind::TuneRefused: return tuneRefused(failure);
    case Kind::MuteRefused: return muteRefused(failure);
    case Kind::ToneFormatRefused: return toneFormatRefused(failure);
    case Kind::VirtualSourceUnlinked: return virtualSourceUnlinked(failure);
    case Kind::V4l2SourceUnlinked: return tr("The V4L2 source could not be linked to its format filter.");
    case Kind::SoundUnrouted: return tr("The sound could not be routed to its level meter and output.");
    case Kind::StreamRefused: return streamRefused(failure);
    case Kind::NotFed:
        return tr("No program feeds the virtual camera \"%1\" yet: start the program that feeds it, then start again.")
            .arg(q(failure.device));
    }
    return {};
}

}  // namespace

std::string failureMessage(const PipelineFailure& failure, const CaptureStats& stats, bool recordingClosed)
{
    QString message = whatFailed(failure, !stats.fileName.empty());
    if (!stats.fileName.empty())
        message += whatWasSaved(stats, recordingClosed);
    return (message + adviceForPart(failure)).toStdString();
}

PipelineFailure refusalFailure(const DeviceFailure& refusal)
{
    const QString text = refusal.kind == DeviceFailure::Kind::NotFed
        ? tr("no program feeds it yet")
        : tr("it %1: %2").arg(refusedStep(refusal), errorText(refusal.error));
    PipelineFailure failure = PipelineFailure::at(Part::VideoSource, text.toStdString()).from(refusal.device);
    failure.deviceError = refusal.error;
    failure.holder = refusal.holder;
    failure.deviceGone = refusal.error == ENODEV || refusal.error == ENOENT || refusal.error == ENXIO;
    failure.unfed = refusal.kind == DeviceFailure::Kind::NotFed;
    return failure;
}

std::string holderText(const PipelineFailure& failure)
{
    return holderWords(failure.holder).toStdString();
}

std::string unfedMessage(const PipelineFailure& failure)
{
    return tr("%1: waiting for the program that feeds this virtual camera").arg(q(failure.element)).toStdString();
}

std::string heldMessage(const PipelineFailure& failure)
{
    return tr("The video device%1 is %2. The picture appears as soon as that program lets go of it.")
        .arg(quoted(failure.element), holderWords(failure.holder))
        .toStdString();
}

std::string startFailureMessage(const PipelineFailure& failure)
{
    const QString message = tr("Capture could not start: %1 failed (%2).").arg(q(culprit(failure)), q(failure.text));
    if (failure.notNegotiated && (failure.part == Part::VideoSource || failure.part == Part::Encoder))
        return (message + tr(" The device and the recording could not agree on a picture format: choose another "
                             "format or compressor, then start again."))
            .toStdString();
    return (message + adviceForPart(failure)).toStdString();
}

std::string deviceFailureMessage(const DeviceFailure& failure)
{
    return deviceWords(failure).toStdString();
}

std::string messageOf(const CaptureError& error)
{
    if (const auto* refusal = dynamic_cast<const DeviceError*>(&error))
        return deviceFailureMessage(refusal->failure());
    return error.what();
}

std::string noVideoDeviceMessage()
{
    return tr("There is no video device to show. Connect a camera, or choose one of the test devices.").toStdString();
}

std::string encoderSizesMessage(const std::string& sizes, const std::string& asked)
{
    return tr("it takes only pictures of %1, not %2").arg(q(sizes), q(asked)).toStdString();
}

std::string noPictureFormatMessage(const std::string& videoDevice)
{
    return tr("The video device \"%1\" offers no picture format.").arg(q(videoDevice)).toStdString();
}

std::string noPicturesMessage(const std::string& videoDevice)
{
    return tr("The video device \"%1\" gives no pictures.").arg(q(videoDevice)).toStdString();
}

std::string noSoundMessage(const std::string& audioDevice)
{
    return tr("The audio device \"%1\" gives no sound.").arg(q(audioDevice)).toStdString();
}

std::string lostDeviceMessage(const std::string& videoDevice)
{
    return tr("The video device \"%1\" is no longer connected. Connect it again and choose it in the device list, "
              "or choose another device.")
        .arg(q(videoDevice))
        .toStdString();
}

std::string emptyCatalogueMessage()
{
    return tr("The capture control found no video device, not even its built-in ones.").toStdString();
}

std::string snapshotMessage(const std::string& file, const std::string& reason, bool folderInTheWay)
{
    const QString remedy = folderInTheWay ? tr("A folder of that name is in the way: rename or remove it")
                                          : tr("Check that its folder exists and can be written to");
    return tr("The snapshot could not be saved to \"%1\": %2. %3, then try again.")
        .arg(q(file), q(reason), remedy)
        .toStdString();
}

std::string heldTunerMessage(HeldWrite what)
{
    QString consequence;
    switch (what) {
    case HeldWrite::TunerSettings: consequence = tr("it did not take the channel and sound set before"); break;
    case HeldWrite::Channel: consequence = tr("the channel was not changed"); break;
    case HeldWrite::Mute: consequence = tr("the sound was not muted"); break;
    case HeldWrite::Unmute: consequence = tr("the sound was not turned on"); break;
    }
    return tr("The TV card is held by another program just now; %1.").arg(consequence).toStdString();
}

std::string heldSettingMessage(const std::string& setting)
{
    return tr("%1 is held by another program just now; it was not changed.").arg(q(setting)).toStdString();
}

std::string controlRefusal(ControlWrite result)
{
    switch (result) {
    case ControlWrite::Applied: return {};
    case ControlWrite::Busy: return tr("In use: another program or the running picture holds it.").toStdString();
    case ControlWrite::AutomaticIsOn: return tr("Not settable while its automatic mode is on.").toStdString();
    case ControlWrite::OutOfRange: return tr("The device refused this value as out of range.").toStdString();
    case ControlWrite::ReadOnly: return tr("The device does not let this be set.").toStdString();
    case ControlWrite::NoAnswer: return tr("The device did not answer.").toStdString();
    case ControlWrite::Gone: return tr("The device no longer offers this control.").toStdString();
    }
    return {};
}

std::string unknownScanFailure()
{
    return tr("the tuner failed for an unknown reason").toStdString();
}

std::string soundRefusedMessage(const std::string& audioDevice, const std::string& reason)
{
    return tr("The sound of \"%1\" cannot be played (%2); the picture is shown without it. Choose another audio "
              "device, or close the program that uses it.")
        .arg(q(audioDevice), q(reason))
        .toStdString();
}

}  // namespace capture
