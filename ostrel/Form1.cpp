#include "Form1.h"

#include "Title.h"

#include "capture/contract/StartStatus.h"
#include "desktop/CheckBox.h"
#include "desktop/CollectionList.h"
#include "desktop/Controls.h"
#include "desktop/Fonts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace ostrel {

using capture::Member;
using capture::Value;

namespace {

struct TwipsBox {
    int left;
    int top;
    int width;
    int height;
};

enum class Initially { Enabled, Disabled };
enum class Box { Checked, Unchecked };

// Every control of this window gets its font where it is placed.
template <typename Control>
Control* placedWithFont(Control* control, const char* name, TwipsBox box, const QFont& font)
{
    desktop::placed(control, name, box.left, box.top, box.width, box.height)->setFont(font);
    return control;
}

QComboBox* sourceList(QWidget* parent, const char* name, TwipsBox box, Initially state)
{
    auto* list = placedWithFont(new QComboBox(parent), name, box, desktop::dialogFont());
    // The user may type into the edit field, but only a picked entry is ever a choice.
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setEnabled(state == Initially::Enabled);
    return list;
}

QLabel* label(QWidget* parent, const char* name, const QString& caption, TwipsBox box, const QFont& font)
{
    auto* result = placedWithFont(new QLabel(caption, parent), name, box, font);
    result->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return result;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, TwipsBox box, Initially state)
{
    auto* result = placedWithFont(new QPushButton(caption, parent), name, box, desktop::dialogFont());
    result->setEnabled(state == Initially::Enabled);
    return result;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption, TwipsBox box, Box state)
{
    auto* result = placedWithFont(new desktop::CheckBox(caption, parent), name, box, desktop::verdanaSmall());
    result->setChecked(state == Box::Checked);
    return result;
}

// A check box's state as the control takes it: 0 unchecked, 1 checked, 2 greyed. Qt numbers
// a checked box 2, so the state is mapped rather than cast.
Value checkBoxState(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Unchecked:
        return Value::i16(0);
    case Qt::PartiallyChecked:
        return Value::i16(2);
    case Qt::Checked:
        break;
    }
    return Value::i16(1);
}

}  // namespace

Form1::Form1(const capture::CaptureWidgetFactory& makeOrvex, desktop::Toolkit& toolkit,
             desktop::FailureReporter& reporter, QWidget* parent)
    : QWidget(parent), m_reporter(reporter)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    setFont(desktop::dialogFont());
    desktop::sizeClientInTwips(this, 8250, 8385);

    buildControls(makeOrvex);
    arrangeTabOrder();

    const QString title = QString::fromUtf8(ProgramTitle);
    m_commonDialog1 = toolkit.commonDialog(this);
    m_commonDialog2 = toolkit.commonDialog(this);
    m_messageBox = toolkit.messageBox(this, title);

    connectHandlers();
}

Form1::~Form1() = default;

void Form1::buildControls(const capture::CaptureWidgetFactory& makeOrvex)
{
    const QFont small = desktop::verdanaSmall();
    const QFont plain = desktop::dialogFont();

    m_cboDevice = sourceList(this, "cboDevice", {1680, 120, 3855, 315}, Initially::Enabled);
    m_label1 = label(this, "Label1", QStringLiteral("Device"), {120, 120, 855, 375}, small);
    m_label2 = label(this, "Label2", QStringLiteral("Video Format"), {120, 480, 1095, 375}, small);
    m_cboVideoFormat = sourceList(this, "cboVideoFormat", {1680, 480, 3855, 315}, Initially::Enabled);
    m_label3 = label(this, "Label3", QStringLiteral("Audio Compressor"), {120, 1800, 1575, 375}, small);
    m_cboAudioCompressor = sourceList(this, "cboAudioCompressor", {1680, 1800, 3855, 315}, Initially::Disabled);
    m_label4 = label(this, "Label4", QStringLiteral("Audio Device"), {120, 1320, 1095, 375}, small);
    m_cboAudioDevice = sourceList(this, "cboAudioDevice", {1680, 1320, 3855, 315}, Initially::Enabled);
    m_label5 = label(this, "Label5", QStringLiteral("Video Compressor"), {120, 2280, 1575, 375}, small);
    m_cboVideoCompressor = sourceList(this, "cboVideoCompressor", {1680, 2280, 3855, 315}, Initially::Disabled);
    m_command1 = button(this, "Command1", QStringLiteral("Preview"), {480, 3240, 975, 495}, Initially::Enabled);
    m_command2 = button(this, "Command2", QStringLiteral("Capture"), {1560, 3240, 1095, 495}, Initially::Enabled);
    m_command3 = button(this, "Command3", QStringLiteral("Stop Capture"), {2880, 3240, 1095, 495}, Initially::Disabled);
    m_chkShowPreview = checkBox(this, "chkShowPreview", QStringLiteral("Show Preview when Capture"),
                                {360, 3960, 2535, 375}, Box::Checked);
    m_capStatus = label(this, "CapStatus", QString(), {4800, 2760, 1575, 375}, plain);
    m_chkUseOrvex = checkBox(this, "ChkUseOrvex", QStringLiteral("Use Video Compressor when Capture"),
                             {5640, 2280, 2535, 375}, Box::Unchecked);
    m_chkUseAudioCap = checkBox(this, "ChkUseAudioCap", QStringLiteral("Use Audio Compressor when Capture"),
                                {5640, 1800, 2535, 375}, Box::Unchecked);
    m_chkCaptureAudio = checkBox(this, "ChkCaptureAudio", QStringLiteral("Capture Audio"),
                                 {360, 4320, 2535, 375}, Box::Checked);
    m_chkCaptureVideo = checkBox(this, "chkCaptureVideo", QStringLiteral("Capture Video"),
                                 {360, 4800, 1695, 375}, Box::Checked);
    m_chkAspectRatio = checkBox(this, "chkaspectratio", QStringLiteral("Aspect Ratio"),
                                {360, 5280, 1695, 375}, Box::Checked);
    m_cmdBackgroundColor = button(this, "cmdBackgroundColor", QStringLiteral("Background Color"),
                                  {480, 6360, 1575, 375}, Initially::Enabled);
    m_label6 = label(this, "Label6", QStringLiteral("Video Input"), {120, 840, 1095, 375}, small);
    m_cboVideoInput = sourceList(this, "cboVideoInput", {1680, 840, 3855, 315}, Initially::Enabled);
    m_chkTVMute = checkBox(this, "ChkTVMute", QStringLiteral("TV Mute"), {360, 5760, 1695, 375}, Box::Checked);

    m_orvex1 = makeOrvex(this);
    if (!m_orvex1)
        throw capture::CaptureError("The capture control could not be created.");
    m_orvex1->setParent(this);
    // Its right edge lies past the client area on purpose; the overhang is clipped.
    desktop::placed(m_orvex1, "Orvex1", 3240, 3960, 5055, 3735);

    m_command5 = button(this, "Command5", QStringLiteral("Setting"), {1680, 2640, 1095, 375}, Initially::Disabled);

    desktop::labelFor(m_label1, m_cboDevice);
    desktop::labelFor(m_label2, m_cboVideoFormat);
    desktop::labelFor(m_label6, m_cboVideoInput);
    desktop::labelFor(m_label4, m_cboAudioDevice);
    desktop::labelFor(m_label3, m_cboAudioCompressor);
    desktop::labelFor(m_label5, m_cboVideoCompressor);
}

// Labels and the video area keep their place in the list; Tab passes over them.
void Form1::arrangeTabOrder()
{
    desktop::chainTabOrder({
        m_cboDevice,     m_label1,          m_label2,         m_cboVideoFormat,     m_label3,
        m_cboAudioCompressor, m_label4,     m_cboAudioDevice, m_label5,             m_cboVideoCompressor,
        m_command1,      m_command2,        m_command3,       m_chkShowPreview,     m_capStatus,
        m_chkUseOrvex,   m_chkUseAudioCap,  m_chkCaptureAudio, m_chkCaptureVideo,   m_chkAspectRatio,
        m_cmdBackgroundColor, m_label6,     m_cboVideoInput,  m_chkTVMute,          m_orvex1,
        m_command5,
    });
}

void Form1::onClick(QAbstractButton* source, void (Form1::*handler)())
{
    connect(source, &QAbstractButton::clicked, this,
            desktop::guarded(m_reporter, this, [this, handler] { (this->*handler)(); }));
}

void Form1::connectHandlers()
{
    onClick(m_command1, &Form1::previewClicked);
    onClick(m_command2, &Form1::captureClicked);
    onClick(m_command3, &Form1::stopCaptureClicked);
    onClick(m_command5, &Form1::settingClicked);
    onClick(m_cmdBackgroundColor, &Form1::backgroundColorClicked);
    onClick(m_chkAspectRatio, &Form1::aspectRatioClicked);
    onClick(m_chkTVMute, &Form1::tvMuteClicked);
    onClick(m_chkUseAudioCap, &Form1::useAudioCompressorClicked);
    onClick(m_chkUseOrvex, &Form1::useVideoCompressorClicked);
}

// --- start-up ------------------------------------------------------------------------------

void Form1::load()
{
    putBoolean(Member::TVMute, true);
    fillList(m_cboDevice, Member::VideoDevices);
    fillList(m_cboVideoInput, Member::VideoInputs);
    fillList(m_cboVideoFormat, Member::VideoFormats);
    fillList(m_cboAudioDevice, Member::AudioDevices);
    fillList(m_cboAudioCompressor, Member::AudioCompressors);
    fillList(m_cboVideoCompressor, Member::VideoCompressors);
}

void Form1::fillList(QComboBox* list, Member collection)
{
    desktop::fillList(list, *m_orvex1->collection(collection));
}

// --- sources -------------------------------------------------------------------------------

void Form1::ControlCap()
{
    applySource(m_cboDevice, Member::VideoDevices, Member::VideoDevice);
    applySource(m_cboVideoInput, Member::VideoInputs, Member::VideoInput);
    applySource(m_cboVideoFormat, Member::VideoFormats, Member::VideoFormat);
    applySource(m_cboAudioDevice, Member::AudioDevices, Member::AudioDevice);
    applySource(m_cboVideoCompressor, Member::VideoCompressors, Member::VideoCompressor);
    applySource(m_cboAudioCompressor, Member::AudioCompressors, Member::AudioCompressor);
}

void Form1::applySource(QComboBox* list, Member collection, Member choice)
{
    const std::int16_t index = indexOf(collection, desktop::selectedText(list));
    if (index != desktop::NotFound)
        m_orvex1->put(choice, Value::i16(index));
}

// Asked of a collection fetched just now: after a device change the control reports the new
// device's inputs and formats.
std::int16_t Form1::indexOf(Member collection, const QString& name)
{
    return desktop::indexOfName(*m_orvex1->collection(collection), name);
}

// --- preview, record and stop --------------------------------------------------------------

void Form1::previewClicked()
{
    ControlCap();
    // After a refused capture the control would still be set to record; a preview never does.
    putBoolean(Member::CaptureToFile, false);
    m_orvex1->call(Member::Start);
}

void Form1::captureClicked()
{
    ControlCap();
    m_commonDialog1->setFilter(QStringLiteral("Avi File (*.avi)|*.avi"));
    m_commonDialog1->showSave();
    // A cancel must not record over the file chosen the time before.
    if (m_commonDialog1->cancelled())
        return;
    putOption(Member::CaptureVideo, m_chkCaptureVideo);
    putOption(Member::CaptureAudio, m_chkCaptureAudio);
    putOption(Member::ShowPreview, m_chkShowPreview);
    putOption(Member::UseVideoCompressor, m_chkUseOrvex);
    putOption(Member::UseAudioCompressor, m_chkUseAudioCap);
    putBoolean(Member::CaptureToFile, true);
    m_orvex1->put(Member::CaptureFileName, Value::text(m_commonDialog1->fileName().toStdString()));
    const std::int16_t status = start();
    if (status == capture::CannotRecord)
        m_messageBox->show(QStringLiteral("Capture Failure,Video, Audio Compressor not correct or capture file opening"));
    else if (status == capture::FileNotFound)
        m_messageBox->show(QStringLiteral("Capture file not found"));
    else
        setRecordingButtons(true);
}

void Form1::stopCaptureClicked()
{
    putBoolean(Member::ShowPreview, true);
    putBoolean(Member::CaptureToFile, false);
    m_orvex1->call(Member::Stop);
    m_orvex1->call(Member::Start);
    setRecordingButtons(false);
}

std::int16_t Form1::start() { return capture::toInt16(m_orvex1->call(Member::Start)); }

void Form1::setRecordingButtons(bool recording)
{
    m_command1->setEnabled(!recording);
    m_command2->setEnabled(!recording);
    m_command3->setEnabled(recording);
}

void Form1::putOption(Member member, const QCheckBox* box) { m_orvex1->put(member, checkBoxState(box)); }

void Form1::putBoolean(Member member, bool value) { m_orvex1->put(member, Value::boolean(value)); }

// --- settings ------------------------------------------------------------------------------

void Form1::aspectRatioClicked() { putBoolean(Member::KeepAspectRatio, m_chkAspectRatio->isChecked()); }

void Form1::tvMuteClicked() { putBoolean(Member::TVMute, m_chkTVMute->isChecked()); }

void Form1::backgroundColorClicked()
{
    m_commonDialog2->showColor();
    // A cancel keeps the background the video area has.
    if (m_commonDialog2->cancelled())
        return;
    m_orvex1->put(Member::BackgroundColor, Value::colour(m_commonDialog2->color()));
}

void Form1::useAudioCompressorClicked() { m_cboAudioCompressor->setEnabled(m_chkUseAudioCap->isChecked()); }

void Form1::useVideoCompressorClicked()
{
    const bool use = m_chkUseOrvex->isChecked();
    m_cboVideoCompressor->setEnabled(use);
    m_command5->setEnabled(use);
}

void Form1::settingClicked()
{
    const std::int16_t index = indexOf(Member::VideoCompressors, desktop::selectedText(m_cboVideoCompressor));
    // An unknown name's -1 goes to the control as it is; its answer alone decides.
    auto compressors = m_orvex1->collection(Member::VideoCompressors);
    const bool shown = capture::toBoolean(compressors->showItemPropertyPage(Value::i16(index)));
    if (!shown)
        m_messageBox->show(QStringLiteral("No property page"));
}

}  // namespace ostrel
