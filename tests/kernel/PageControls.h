#pragma once

// The control's page on a kernel driver's controls, beside what v4l2-ctl says of them.

#include "capture/control/OrvexCore.h"
#include "tests/control/ControlRig.h"
#include "tests/support/qt/WidgetWaits.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <linux/videodev2.h>

#include <functional>
#include <vector>

namespace pagecontrols {

// One control as `v4l2-ctl --list-ctrls-menus` lists it: its key, id, type and, for a menu,
// how many entries it lists.
struct ListedControl {
    QString key;
    QString name;  // as the driver names it (VIDIOC_QUERY_EXT_CTRL)
    QString className;  // the name of its class's control ("User Controls")
    std::uint32_t id = 0;
    QString type;
    bool array = false;
    int entries = 0;
};

inline std::vector<ListedControl> listedControls(const char* node)
{
    QProcess ctl;
    ctl.start(QStringLiteral("v4l2-ctl"), {QStringLiteral("-d"), QString::fromLatin1(node), QStringLiteral("--list-ctrls-menus")});
    if (!ctl.waitForFinished(20000) || ctl.exitCode() != 0)
        return {};
    static const QRegularExpression control(QStringLiteral(R"(^\s*([a-z0-9_]+) (0x[0-9a-f]{8}) \(([a-z0-9_-]+)\)\s*:(.*)$)"));
    // An array's dimensions follow its description: "[2]", "[16][16]".
    static const QRegularExpression dimensions(QStringLiteral(R"( (\[[0-9]+\])+( |$))"));
    static const QRegularExpression entry(QStringLiteral(R"(^\s+-?[0-9]+: )"));
    std::vector<ListedControl> listed;
    for (const QString& line : QString::fromLocal8Bit(ctl.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (const auto match = control.match(line); match.hasMatch()) {
            listed.push_back({match.captured(1), {}, {}, match.captured(2).toUInt(nullptr, 16), match.captured(3),
                              match.captured(4).contains(dimensions), 0});
        } else if (!listed.empty() && entry.match(line).hasMatch()) {
            ++listed.back().entries;
        }
    }
    const int fd = ::open(node, O_RDWR | O_NONBLOCK);
    const auto nameOf = [fd](std::uint32_t id) {
        v4l2_query_ext_ctrl query{};
        query.id = id;
        return fd >= 0 && ::ioctl(fd, VIDIOC_QUERY_EXT_CTRL, &query) == 0 ? QString::fromLatin1(query.name) : QString();
    };
    for (ListedControl& control : listed) {
        control.name = nameOf(control.id);
        control.className = nameOf(V4L2_CTRL_ID2WHICH(control.id) | 1);
    }
    if (fd >= 0)
        ::close(fd);
    return listed;
}

// The widget the page gives a control of v4l2-ctl's type.
inline QString widgetFor(const ListedControl& control)
{
    if (control.array)
        return QStringLiteral("QLabel");
    if (control.type == QLatin1String("int"))
        return QStringLiteral("QSlider");
    if (control.type == QLatin1String("bool"))
        return QStringLiteral("QCheckBox");
    if (control.type == QLatin1String("menu") || control.type == QLatin1String("intmenu"))
        return QStringLiteral("QComboBox");
    if (control.type == QLatin1String("button"))
        return QStringLiteral("QPushButton");
    if (control.type == QLatin1String("int64") || control.type == QLatin1String("bitmask") || control.type == QLatin1String("str"))
        return QStringLiteral("QLineEdit");
    return QStringLiteral("QLabel");
}

// The control's value or default as a second opener of `node` reads it; text for a string.
inline QString controlValueOn(const char* node, std::uint32_t id, std::uint32_t which = V4L2_CTRL_WHICH_CUR_VAL)
{
    char text[256] = {};
    v4l2_ext_control control{};
    control.id = id;
    control.size = sizeof text;
    control.string = text;
    v4l2_ext_controls controls{};
    controls.which = which;
    controls.count = 1;
    controls.controls = &control;
    v4l2_query_ext_ctrl query{};
    query.id = id;
    const int fd = ::open(node, O_RDWR | O_NONBLOCK);
    const bool read = fd >= 0 && ::ioctl(fd, VIDIOC_G_EXT_CTRLS, &controls) == 0 && ::ioctl(fd, VIDIOC_QUERY_EXT_CTRL, &query) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!read)
        return QStringLiteral("(unreadable)");
    if (query.type == V4L2_CTRL_TYPE_STRING)
        return QString::fromLatin1(text);
    return QString::number(query.type == V4L2_CTRL_TYPE_INTEGER64 ? qlonglong(control.value64) : qlonglong(control.value));
}

// Opens the control's page, lets `act` work on it and closes it, whatever `act` does.
inline void onThePage(capture::Orvex& orvex, const std::function<void(QDialog&)>& act)
{
    bool opened = false;
    controltest::whenModalOpens([&](QDialog& page) {
        const auto close = qScopeGuard([&] { page.reject(); });
        opened = true;
        act(page);
    });
    orvex.call(capture::Member::ShowPropertyPage);
    QVERIFY(opened);
}

using testsupport::millisecondsUntil;

}  // namespace pagecontrols
