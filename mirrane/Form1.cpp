#include "Form1.h"

#include "desktop/CollectionList.h"
#include "desktop/Controls.h"
#include "desktop/Fonts.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <vector>

namespace mirrane {

using capture::Member;
using capture::Value;

using desktop::placed;

namespace {

struct RowLayout {
    Member property;
    const char* sliderName;
    const char* labelName;
    const char* caption;
    int top;
    int labelWidth;
};

// One row per camera setting, 600 twips apart; the two long captions get wider labels.
constexpr std::array<RowLayout, 10> rowLayouts = {{
    {Member::Brightness, "BrightnessSlider1", "Label1", "Brightness", 3600, 1095},
    {Member::Contrast, "ContrastSlider1", "Label2", "Contrast", 4200, 1095},
    {Member::Hue, "HueSlider1", "Label3", "Hue", 4800, 1095},
    {Member::Saturation, "SaturationSlider1", "Label4", "Saturation", 5400, 1095},
    {Member::Sharpness, "SharpnessSlider1", "Label5", "Sharpness", 6000, 1095},
    {Member::Gamma, "GammaSlider1", "Label6", "Gamma", 6600, 1095},
    {Member::ColorEnable, "ColorEnableSlider1", "Label7", "Color Enable", 7200, 1095},
    {Member::WhiteBalance, "WhiteBalanceSlider1", "Label8", "WhiteBalance", 7800, 1095},
    {Member::BacklightCompensation, "BacklightCompensationSlider1", "Label9",
     "BacklightCompensation", 8400, 1935},
    {Member::Gain, "GainSlider1", "Label10", "Gain\r\n", 9000, 1935},
}};

constexpr int SliderLeft = 1920;
constexpr int SliderWidth = 5055;
constexpr int SliderHeight = 615;
constexpr int LabelHeight = 375;

QLabel* label(QWidget* parent, const char* name, const char* caption, int left, int top, int width)
{
    auto* result = placed(new QLabel(QString::fromLatin1(caption), parent), name, left, top, width,
                          LabelHeight);
    result->setFont(desktop::verdanaSmall());
    return result;
}

QSlider* slider(QWidget* parent, const char* name, int top)
{
    auto* result = placed(new QSlider(Qt::Horizontal, parent), name, SliderLeft, top, SliderWidth,
                          SliderHeight);
    result->setRange(0, 10);
    result->setValue(0);
    result->setPageStep(5);
    result->setSingleStep(1);
    result->setTickPosition(QSlider::TicksBelow);
    result->setTickInterval(1);
    return result;
}

}  // namespace

Form1::Form1(const capture::CaptureWidgetFactory& makeOrvex, desktop::Toolkit& /*toolkit*/,
             desktop::FailureReporter& reporter, QWidget* parent)
    : QWidget(parent)
{
    // The window shows no message of its own: every failure goes through the reporter, which
    // gets its message box from the toolkit.
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Camera Control "));
    setFont(desktop::tahoma());
    desktop::sizeClientInTwips(this, 7515, 9675);
    buildControls(makeOrvex);
    arrangeTabOrder();
    connectHandlers(reporter);
}

void Form1::buildControls(const capture::CaptureWidgetFactory& makeOrvex)
{
    m_command1 = placed(new QPushButton(QStringLiteral("Preview"), this), "Command1", 3600, 720, 975, 375);
    m_command1->setFont(desktop::dialogFont());

    for (size_t i = 0; i < rowLayouts.size(); ++i) {
        const RowLayout& row = rowLayouts[i];
        m_cameraRows[i] = {row.property, slider(this, row.sliderName, row.top)};
        desktop::labelFor(label(this, row.labelName, row.caption, 0, row.top, row.labelWidth),
                          m_cameraRows[i].slider);
    }

    m_cmdProPage = placed(new QPushButton(QStringLiteral("Show Orvex Property Page"), this),
                          "cmdProPage", 3600, 1320, 3015, 615);
    m_cmdProPage->setEnabled(false);

    m_cboVideoInput = placed(new QComboBox(this), "cboVideoInput", 4920, 360, 2175, 315);
    m_cboVideoInput->setEditable(true);
    m_cboVideoInput->setInsertPolicy(QComboBox::NoInsert);

    desktop::labelFor(label(this, "Label11", "Video Input", 3600, 360, 1095), m_cboVideoInput);

    m_orvex1 = placed(makeOrvex(this), "Orvex1", 240, 480, 3135, 2655);
}

// Labels take no focus, so the keyboard walks the buttons, the sliders, the list and the video
// area in the order of the layout.
void Form1::arrangeTabOrder()
{
    std::vector<QWidget*> order{m_command1};
    for (const CameraRow& row : m_cameraRows)
        order.push_back(row.slider);
    order.insert(order.end(), {m_cmdProPage, m_cboVideoInput, m_orvex1});
    desktop::chainTabOrder(order);
}

void Form1::connectHandlers(desktop::FailureReporter& reporter)
{
    connect(m_command1, &QPushButton::clicked, this,
            desktop::guarded(reporter, this, [this] { previewClick(); }));
    connect(m_cmdProPage, &QPushButton::clicked, this,
            desktop::guarded(reporter, this, [this] { proPageClick(); }));
    // actionTriggered comes for every drag step, key and mouse step, but never when the
    // program sets a range or value; the new position is not yet the slider's value then.
    for (const CameraRow& row : m_cameraRows)
        connect(row.slider, &QSlider::actionTriggered, this,
                desktop::guarded(reporter, this, [this, row] { sliderScroll(row); }));
}

void Form1::load()
{
    desktop::fillList(m_cboVideoInput, *m_orvex1->collection(Member::VideoInputs));
}

void Form1::previewClick()
{
    const QString chosen = desktop::selectedText(m_cboVideoInput);
    const std::int16_t index = desktop::indexOfName(*m_orvex1->collection(Member::VideoInputs), chosen);
    if (index != desktop::NotFound)
        m_orvex1->put(Member::VideoInput, Value::i16(index));
    m_orvex1->call(Member::Start);
    m_cmdProPage->setEnabled(true);
    for (const CameraRow& row : m_cameraRows)
        setUpSlider(row);
}

void Form1::proPageClick() { m_orvex1->call(Member::ShowPropertyPage); }

void Form1::sliderScroll(const CameraRow& row)
{
    m_orvex1->put(row.property, Value::i32(row.slider->sliderPosition()));
}

// A supported setting's slider takes the camera's range and value and is usable again, even if
// an earlier camera or input lacked the setting; an unsupported one is disabled.
void Form1::setUpSlider(const CameraRow& row)
{
    const bool supported =
        capture::toBoolean(m_orvex1->cameraProperty(row.property)->get(capture::RangeMember::Supported));
    if (!supported) {
        row.slider->setEnabled(false);
        return;
    }
    const capture::RangeNumbering numbering = capture::rangeNumbering(row.property);
    row.slider->setMinimum(readRange(row.property, numbering.min));
    row.slider->setMaximum(readRange(row.property, numbering.max));
    row.slider->setValue(readRange(row.property, numbering.value));
    row.slider->setEnabled(true);
}

// Each read takes a range object of its own, released before the next.
std::int32_t Form1::readRange(Member property, int member)
{
    return capture::toInt32(m_orvex1->cameraProperty(property)->get(member));
}

}  // namespace mirrane
