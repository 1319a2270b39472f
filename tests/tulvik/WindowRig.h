#pragma once

#include "tests/support/qt/WidgetWaits.h"
#include "tulvik/Form1.h"

#include "tests/support/desktop/ScriptedToolkit.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

#include <optional>

// The tuner window with scripted dialogs and a reporter that records the end of the program
// instead of ending the test.
struct WindowRig {
    desktop::ScriptedToolkit toolkit;
    std::optional<int> exitStatus;
    desktop::FailureReporter reporter{toolkit, QStringLiteral("tulvik"), [this](int status) { exitStatus = status; }};
    QPointer<tulvik::Form1> form;

    explicit WindowRig(const capture::CaptureWidgetFactory& makeOrvex)
    {
        form = new tulvik::Form1(makeOrvex, toolkit, reporter);
    }
    ~WindowRig() { delete form.data(); }
    WindowRig(const WindowRig&) = delete;
    WindowRig& operator=(const WindowRig&) = delete;

    template <typename Widget>
    Widget* child(const char* name) const { return testsupport::namedChild<Widget>(form.data(), name); }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
    QComboBox* devices() const { return child<QComboBox>("cboDevice"); }
    QListWidget* channels() const { return child<QListWidget>("List1"); }
    QLabel* picture() const { return child<QLabel>("Picture1"); }

    void start(const QString& countryCode = QStringLiteral("1"))
    {
        child<QLineEdit>("Text1")->setText(countryCode);
        button("Command1")->click();
    }

    // Enabled states of Start, the device list, SnapShot, Capture, Stop Capture: "11000".
    QString switches() const
    {
        QString states;
        const QWidget* widgets[] = {button("Command1"), devices(), button("Command2"), button("Command3"),
                                    button("Command4")};
        for (const QWidget* widget : widgets)
            states += widget->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return states;
    }

    QStringList channelTexts() const
    {
        QStringList texts;
        for (int row = 0; row < channels()->count(); ++row)
            texts << channels()->item(row)->text();
        return texts;
    }
};

inline const QString Opened = QStringLiteral("11000");
inline const QString Running = QStringLiteral("00110");
inline const QString Recording = QStringLiteral("00101");
inline const QString RunningAfterRecording = QStringLiteral("11110");
