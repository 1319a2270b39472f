#include "FormRig.h"

#include "desktop/Fonts.h"
#include "desktop/Twips.h"

#include <QLabel>
#include <QPushButton>

namespace {

enum class Kind { List, Label, Button, CheckBox, Capture };
enum class State { Enabled, Disabled, Checked, Unchecked, None };

struct Row {
    const char* name;
    Kind kind;
    const char* caption;
    int left, top, width, height;
    const char* family;  // nullptr: the window's font
    double points;
    State state;
};

constexpr const char* Verdana = "Verdana";

// The window as it is first shown, in tab order.
const Row Layout[] = {
    {"cboDevice", Kind::List, "", 1680, 120, 3855, 315, nullptr, 0, State::Enabled},
    {"Label1", Kind::Label, "Device", 120, 120, 855, 375, Verdana, 6.75, State::None},
    {"Label2", Kind::Label, "Video Format", 120, 480, 1095, 375, Verdana, 6.75, State::None},
    {"cboVideoFormat", Kind::List, "", 1680, 480, 3855, 315, nullptr, 0, State::Enabled},
    {"Label3", Kind::Label, "Audio Compressor", 120, 1800, 1575, 375, Verdana, 6.75, State::None},
    {"cboAudioCompressor", Kind::List, "", 1680, 1800, 3855, 315, nullptr, 0, State::Disabled},
    {"Label4", Kind::Label, "Audio Device", 120, 1320, 1095, 375, Verdana, 6.75, State::None},
    {"cboAudioDevice", Kind::List, "", 1680, 1320, 3855, 315, nullptr, 0, State::Enabled},
    {"Label5", Kind::Label, "Video Compressor", 120, 2280, 1575, 375, Verdana, 6.75, State::None},
    {"cboVideoCompressor", Kind::List, "", 1680, 2280, 3855, 315, nullptr, 0, State::Disabled},
    {"Command1", Kind::Button, "Preview", 480, 3240, 975, 495, nullptr, 0, State::Enabled},
    {"Command2", Kind::Button, "Capture", 1560, 3240, 1095, 495, nullptr, 0, State::Enabled},
    {"Command3", Kind::Button, "Stop Capture", 2880, 3240, 1095, 495, nullptr, 0, State::Disabled},
    {"chkShowPreview", Kind::CheckBox, "Show Preview when Capture", 360, 3960, 2535, 375, Verdana, 6.75, State::Checked},
    {"CapStatus", Kind::Label, "", 4800, 2760, 1575, 375, nullptr, 0, State::None},
    {"ChkUseOrvex", Kind::CheckBox, "Use Video Compressor when Capture", 5640, 2280, 2535, 375, Verdana, 6.75, State::Unchecked},
    {"ChkUseAudioCap", Kind::CheckBox, "Use Audio Compressor when Capture", 5640, 1800, 2535, 375, Verdana, 6.75, State::Unchecked},
    {"ChkCaptureAudio", Kind::CheckBox, "Capture Audio", 360, 4320, 2535, 375, Verdana, 6.75, State::Checked},
    {"chkCaptureVideo", Kind::CheckBox, "Capture Video", 360, 4800, 1695, 375, Verdana, 6.75, State::Checked},
    {"chkaspectratio", Kind::CheckBox, "Aspect Ratio", 360, 5280, 1695, 375, Verdana, 6.75, State::Checked},
    {"cmdBackgroundColor", Kind::Button, "Background Color", 480, 6360, 1575, 375, nullptr, 0, State::Enabled},
    {"Label6", Kind::Label, "Video Input", 120, 840, 1095, 375, Verdana, 6.75, State::None},
    {"cboVideoInput", Kind::List, "", 1680, 840, 3855, 315, nullptr, 0, State::Enabled},
    {"ChkTVMute", Kind::CheckBox, "TV Mute", 360, 5760, 1695, 375, Verdana, 6.75, State::Checked},
    {"Orvex1", Kind::Capture, "", 3240, 3960, 5055, 3735, nullptr, 0, State::None},
    {"Command5", Kind::Button, "Setting", 1680, 2640, 1095, 375, nullptr, 0, State::Disabled},
};

QString captionOf(QWidget* control, Kind kind)
{
    switch (kind) {
    case Kind::List: return static_cast<QComboBox*>(control)->currentText();
    case Kind::Label: return static_cast<QLabel*>(control)->text();
    case Kind::Button:
    case Kind::CheckBox: return static_cast<QAbstractButton*>(control)->text();
    case Kind::Capture: break;
    }
    return {};
}

bool isKind(QWidget* control, Kind kind)
{
    switch (kind) {
    case Kind::List: {
        auto* list = qobject_cast<QComboBox*>(control);
        return list && list->isEditable() && list->insertPolicy() == QComboBox::NoInsert;
    }
    case Kind::Label: return qobject_cast<QLabel*>(control);
    case Kind::Button: return qobject_cast<QPushButton*>(control);
    case Kind::CheckBox: return qobject_cast<QCheckBox*>(control);
    case Kind::Capture: return dynamic_cast<capture::CaptureWidget*>(control);
    }
    return false;
}

}  // namespace

class LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void windowHasItsCaptionClientAreaAndFont()
    {
        FormRig rig;
        QCOMPARE(rig.form->objectName(), QString("Form1"));
        QCOMPARE(rig.form->windowTitle(), QString("Form1"));
        QCOMPARE(rig.form->size(), QSize(550, 559));
        QCOMPARE(rig.form->font().family(), desktop::standInFamily("MS Sans Serif"));
        QCOMPARE(rig.form->font().pointSizeF(), 8.25);
    }

    void everyControlMatchesTheLayoutTable()
    {
        FormRig rig;
        const auto children = rig.form->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(children.size(), qsizetype(std::size(Layout)));

        for (const Row& row : Layout) {
            const QByteArray where = QByteArray("control ") + row.name;
            auto* control = rig.form->findChild<QWidget*>(row.name, Qt::FindDirectChildrenOnly);
            QVERIFY2(control, where);
            QVERIFY2(isKind(control, row.kind), where);
            QCOMPARE(captionOf(control, row.kind), QString(row.caption));
            QCOMPARE(control->geometry(), desktop::twipsRect(row.left, row.top, row.width, row.height));

            const QFont font = control->font();
            QCOMPARE(font.family(), desktop::standInFamily(row.family ? row.family : "MS Sans Serif"));
            QCOMPARE(font.pointSizeF(), row.family ? row.points : 8.25);
            QVERIFY2(!font.bold() && !font.italic(), where);

            if (row.kind == Kind::List)
                QCOMPARE(static_cast<QComboBox*>(control)->count(), 0);
            switch (row.state) {
            case State::Enabled: QVERIFY2(control->isEnabled(), where); break;
            case State::Disabled: QVERIFY2(!control->isEnabled(), where); break;
            case State::Checked: QVERIFY2(static_cast<QCheckBox*>(control)->checkState() == Qt::Checked, where); break;
            case State::Unchecked: QVERIFY2(static_cast<QCheckBox*>(control)->checkState() == Qt::Unchecked, where); break;
            case State::None: break;
            }
        }
    }

    void tabVisitsTheFocusableControlsInTableOrder()
    {
        FormRig rig;
        // Labels and the video area keep their place in the table but take no focus.
        QStringList expected;
        for (const Row& row : Layout)
            if (row.kind != Kind::Label && row.kind != Kind::Capture)
                expected << row.name;
        for (const QString& name : expected)
            QVERIFY2(rig.child<QWidget>(name.toLatin1().constData())->focusPolicy() & Qt::TabFocus,
                     name.toLatin1().constData());

        QStringList visited;
        QWidget* control = rig.child<QWidget>("cboDevice");
        for (int step = 0; step < expected.size(); ++step) {
            visited << control->objectName();
            do
                control = control->nextInFocusChain();
            while (control->parentWidget() != rig.form || !(control->focusPolicy() & Qt::TabFocus));
        }
        QCOMPARE(visited, expected);
    }
};

QTEST_MAIN(LayoutTest)
#include "LayoutTest.moc"
