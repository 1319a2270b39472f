#pragma once

#include "tests/support/qt/WidgetWaits.h"
#include "ostrel/Form1.h"

#include "tests/support/control/FakeCaptureControl.h"
#include "tests/support/desktop/ScriptedToolkit.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QPointer>
#include <QtTest>

#include <functional>
#include <string>
#include <vector>

// Form1 built around the fake control and scripted dialogs, with a failure path that records
// the exit status instead of ending the test.
class FormRig {
public:
    using Script = std::function<void(capture::FakeCaptureControl&)>;

    explicit FormRig(const Script& script = {})
    {
        form = new ostrel::Form1(
            [this, script](QWidget* parent) {
                fake = new capture::FakeCaptureControl(parent);
                if (script)
                    script(*fake);
                return fake;
            },
            toolkit, reporter);
    }
    ~FormRig() { delete form.data(); }

    FormRig(const FormRig&) = delete;
    FormRig& operator=(const FormRig&) = delete;

    // The load handler as the program runs it: through the failure path.
    void load()
    {
        desktop::guarded(reporter, form, [this] { form->load(); })();
    }

    template <typename Control>
    Control* child(const char* name) const { return testsupport::namedChild<Control>(form.data(), name); }
    QComboBox* list(const char* name) const { return child<QComboBox>(name); }
    QCheckBox* box(const char* name) const { return child<QCheckBox>(name); }
    void click(const char* name) const { child<QAbstractButton>(name)->click(); }
    bool enabled(const char* name) const { return child<QWidget>(name)->isEnabled(); }

    desktop::ScriptedCommonDialog& saveDialog() { return toolkit.dialog(0); }
    desktop::ScriptedCommonDialog& colourDialog() { return toolkit.dialog(1); }

    std::vector<std::string> requests() const { return fake->requests(); }
    std::vector<std::string> requests(const std::vector<std::string>& numbers) const
    {
        return fake->requests(numbers);
    }

    desktop::ScriptedToolkit toolkit;
    int endedWith = -1;
    desktop::FailureReporter reporter{toolkit, "ostrel", [this](int status) { endedWith = status; }};
    capture::FakeCaptureControl* fake = nullptr;
    QPointer<ostrel::Form1> form;
};

Q_DECLARE_METATYPE(capture::Value)

using Lines = std::vector<std::string>;

// Six lists, each with names the control knows.
inline void sixSources(capture::FakeCaptureControl& fake)
{
    using capture::Member;
    fake.setItemNames(Member::VideoDevices, {"Cam A", "Cam B"});
    fake.setItemNames(Member::VideoInputs, {"Composite", "S-Video"});
    fake.setItemNames(Member::VideoFormats, {"YUY2 640x480"});
    fake.setItemNames(Member::AudioDevices, {"Line In"});
    fake.setItemNames(Member::AudioCompressors, {"PCM", "MP3"});
    fake.setItemNames(Member::VideoCompressors, {"MJPEG", "Xvid"});
}

namespace QTest {
// Lets QCOMPARE print the request lines when they differ.
template <>
inline char* toString(const std::vector<std::string>& lines)
{
    QByteArray text = "\n";
    for (const auto& line : lines)
        text += "    " + QByteArray::fromStdString(line) + "\n";
    return qstrdup(text.constData());
}
}  // namespace QTest
