#include "mirrane/Form1.h"
#include "ostrel/Form1.h"
#include "tulvik/Form1.h"

#include "tests/support/control/FakeCaptureControl.h"
#include "desktop/CheckBox.h"
#include "tests/support/desktop/ScriptedToolkit.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QtTest>

#include <memory>
#include <optional>

namespace {

// The three windows around the fake control, as they are first shown.
struct Windows {
    desktop::ScriptedToolkit toolkit;
    desktop::FailureReporter reporter{toolkit, QStringLiteral("test"), [](int) {}};
    std::unique_ptr<QWidget> ostrel, mirrane, tulvik;

    Windows()
    {
        const capture::CaptureWidgetFactory fake = [](QWidget* parent) {
            return new capture::FakeCaptureControl(parent);
        };
        ostrel = std::make_unique<ostrel::Form1>(fake, toolkit, reporter);
        mirrane = std::make_unique<mirrane::Form1>(fake, toolkit, reporter);
        tulvik = std::make_unique<tulvik::Form1>(fake, toolkit, reporter);
    }
};

// Where a control draws its caption, as its style lays it out, and with which text flags.
struct CaptionBox {
    QString caption;
    QRect rect;
    int flags = 0;
};

std::optional<CaptionBox> captionBox(QWidget* control)
{
    QStyleOptionButton option;
    option.initFrom(control);
    if (auto* label = qobject_cast<QLabel*>(control)) {
        const int wrap = label->wordWrap() ? Qt::TextWordWrap : 0;
        return CaptionBox{label->text(), label->contentsRect(), int(label->alignment()) | wrap};
    }
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        option.text = box->text();
        // The indicator and the gap beside it are not the caption's.
        const QRect rect = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        const bool wraps = dynamic_cast<desktop::CheckBox*>(box) != nullptr;
        return CaptionBox{box->text(), rect,
                          wraps ? desktop::CheckBox::CaptionFlags : int(Qt::AlignLeft | Qt::AlignVCenter)};
    }
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        option.text = button->text();
        // Inside the button's frame.
        const QRect rect = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        return CaptionBox{button->text(), rect, Qt::AlignCenter};
    }
    return std::nullopt;
}

QAccessibleInterface* accessibleChild(QWidget* window, const QString& name)
{
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window);
    for (int i = 0; i < root->childCount(); ++i)
        if (QAccessibleInterface* child = root->child(i); child->object() && child->object()->objectName() == name)
            return child;
    return nullptr;
}

// What a screen reader announces a control by: its name, or for a combo box, whose name on
// Linux is its entry (Qt's choice), the label it is labelled by.
QString announcedName(QAccessibleInterface* control)
{
    if (control->role() != QAccessible::ComboBox)
        return control->text(QAccessible::Name);
    const auto labels = control->relations(QAccessible::Label);
    return labels.isEmpty() ? QString() : labels.constFirst().first->text(QAccessible::Name);
}

}  // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void everyCaptionFitsItsBoxInTheLayoutsFont()
    {
        Windows windows;
        QStringList cut;
        int captions = 0;
        for (QWidget* window : {windows.ostrel.get(), windows.mirrane.get(), windows.tulvik.get()}) {
            for (QWidget* control : window->findChildren<QWidget*>()) {
                const std::optional<CaptionBox> box = captionBox(control);
                if (!box || box->caption.isEmpty())
                    continue;
                ++captions;
                const QRect needed = QFontMetrics(control->font()).boundingRect(box->rect, box->flags, box->caption);
                if (!box->rect.contains(needed))
                    cut << QStringLiteral("%1 in %2 (%3 %4 pt): needs %5x%6, has %7x%8")
                               .arg(box->caption.trimmed(), window->windowTitle(), control->font().family())
                               .arg(control->font().pointSizeF())
                               .arg(needed.width()).arg(needed.height())
                               .arg(box->rect.width()).arg(box->rect.height());
            }
        }
        QCOMPARE(captions, 18 + 13 + 10);  // labels, buttons and check boxes with a caption
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
    }

    // A screen reader finds each slider, list and text box by the label beside it.
    void slidersAndListsAreNamedAfterTheirLabels()
    {
        Windows windows;
        struct Named {
            QWidget* window;
            const char* control;
            QAccessible::Role role;
            const char* label;
        };
        const Named controls[] = {
            {windows.ostrel.get(), "cboDevice", QAccessible::ComboBox, "Device"},
            {windows.ostrel.get(), "cboVideoFormat", QAccessible::ComboBox, "Video Format"},
            {windows.ostrel.get(), "cboVideoInput", QAccessible::ComboBox, "Video Input"},
            {windows.ostrel.get(), "cboAudioDevice", QAccessible::ComboBox, "Audio Device"},
            {windows.ostrel.get(), "cboAudioCompressor", QAccessible::ComboBox, "Audio Compressor"},
            {windows.ostrel.get(), "cboVideoCompressor", QAccessible::ComboBox, "Video Compressor"},
            {windows.mirrane.get(), "BrightnessSlider1", QAccessible::Slider, "Brightness"},
            {windows.mirrane.get(), "ContrastSlider1", QAccessible::Slider, "Contrast"},
            {windows.mirrane.get(), "HueSlider1", QAccessible::Slider, "Hue"},
            {windows.mirrane.get(), "SaturationSlider1", QAccessible::Slider, "Saturation"},
            {windows.mirrane.get(), "SharpnessSlider1", QAccessible::Slider, "Sharpness"},
            {windows.mirrane.get(), "GammaSlider1", QAccessible::Slider, "Gamma"},
            {windows.mirrane.get(), "ColorEnableSlider1", QAccessible::Slider, "Color Enable"},
            {windows.mirrane.get(), "WhiteBalanceSlider1", QAccessible::Slider, "WhiteBalance"},
            {windows.mirrane.get(), "BacklightCompensationSlider1", QAccessible::Slider, "BacklightCompensation"},
            {windows.mirrane.get(), "GainSlider1", QAccessible::Slider, "Gain"},  // the caption's line break dropped
            {windows.mirrane.get(), "cboVideoInput", QAccessible::ComboBox, "Video Input"},
            {windows.tulvik.get(), "cboDevice", QAccessible::ComboBox, "Video Device"},
            {windows.tulvik.get(), "List1", QAccessible::List, "TV Channel No."},
            {windows.tulvik.get(), "Text1", QAccessible::EditableText, "Country Code"},
        };
        for (const Named& named : controls) {
            const QByteArray where = named.window->windowTitle().toUtf8() + " " + named.control;
            QAccessibleInterface* control = accessibleChild(named.window, QString::fromLatin1(named.control));
            QVERIFY2(control, where);
            QVERIFY2(control->role() == named.role, where);
            QCOMPARE(announcedName(control), QString::fromLatin1(named.label));
        }
    }
};

QTEST_MAIN(WindowsTest)
#include "WindowsTest.moc"
