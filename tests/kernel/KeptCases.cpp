// A camera that keeps its settings, coming back as a new device.

#include "KernelDevicesTest.h"

namespace {

// A control's value as v4l2-ctl reads it from the node.
int ctlValue(const QString& key)
{
    QProcess ctl;
    ctl.start(QStringLiteral("v4l2-ctl"), {QStringLiteral("-d"), QString::fromStdString(Node), QStringLiteral("-C"), key});
    if (!ctl.waitForFinished(10000) || ctl.exitCode() != 0)
        return -99999;
    // "auto_exposure: 1 (Manual Mode)"
    return QString::fromLatin1(ctl.readAllStandardOutput()).section(QLatin1Char(':'), 1).trimmed().section(QLatin1Char(' '), 0, 0).toInt();
}

// vivid taken out and loaded again, its capture node at another number.
bool reloadVivid(const QString& extraOptions)
{
    QString options = qEnvironmentVariable("ORVEX_VIVID_OPTIONS", QStringLiteral("n_devs=1"));
    QProcess modprobe;
    modprobe.start(QStringLiteral("modprobe"), {QStringLiteral("-r"), QStringLiteral("vivid")});
    if (!modprobe.waitForFinished(20000) || modprobe.exitCode() != 0) {
        qWarning("modprobe -r vivid: %s", modprobe.readAllStandardError().constData());
        return false;
    }
    modprobe.start(QStringLiteral("modprobe"), QStringList{QStringLiteral("vivid")}
                                                    + (options + QLatin1Char(' ') + extraOptions).split(QLatin1Char(' '), Qt::SkipEmptyParts));
    if (!modprobe.waitForFinished(20000) || modprobe.exitCode() != 0) {
        qWarning("modprobe vivid: %s", modprobe.readAllStandardError().constData());
        return false;
    }
    return QTest::qWaitFor([] { return !(Node = findNode(camera().card)).empty(); }, 10000);
}

}  // namespace

// Keeping on, the page sets brightness, a menu and an automatic mode with the manual value it
// lets through; the camera comes back as a new device (vivid reloaded on another node number;
// the USB webcam pulled out and plugged in while the control runs) and has them again, on the
// driver and on mirrane's sliders, before its first picture. The USB webcam puts its exposure
// time back as it starts streaming: after the first pictures the kept one is on it again.
void KernelDevicesTest::aCameraKeepsItsSettingsWhenItComesBack()
{
    QTemporaryDir config;
    const QByteArray configBefore = qgetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", configBefore); });
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    const bool usb = !camera().microphone.empty();
    const int player = qEnvironmentVariableIntValue("ORVEX_USB_WEBCAM_PID");
    if (usb && player <= 0)
        QSKIP("needs the USB webcam's player (ORVEX_USB_WEBCAM_PID) to pull the camera out");
    // An earlier case may have plugged the camera in again, on another node.
    Node = findNode(camera().card);
    QVERIFY(!Node.empty());
    // key -> value set on the page
    const QString menuKey = usb ? QStringLiteral("power_line_frequency") : QStringLiteral("menu");
    const QString manualKey = usb ? QStringLiteral("exposure_time_absolute") : QStringLiteral("gain");
    const QString automaticKey = usb ? QStringLiteral("auto_exposure") : QStringLiteral("gain_automatic");
    std::map<QString, int> kept;

    auto rig = std::make_unique<Rig>(usb ? std::string() : std::string("Webcam 0"));
    pagecontrols::onThePage(*rig->orvex, [&](QDialog& page) {
        page.findChild<QCheckBox*>("keepSettings")->setChecked(true);
        auto* brightness = page.findChild<QSpinBox*>("brightnessValue");
        auto* menu = page.findChild<QComboBox*>(menuKey);
        QVERIFY(brightness && menu && menu->count() > 1);
        brightness->setValue(brightness->minimum() + 7);
        menu->setCurrentIndex(menu->currentIndex() == 0 ? 1 : 0);
        emit menu->activated(menu->currentIndex());
        if (usb) {
            auto* mode = page.findChild<QComboBox*>(automaticKey);
            QVERIFY(mode);
            mode->setCurrentIndex(mode->findData(QVariant::fromValue<qlonglong>(V4L2_EXPOSURE_MANUAL)));
            emit mode->activated(mode->currentIndex());
        } else {
            auto* automatic = page.findChild<QCheckBox*>(automaticKey);
            QVERIFY(automatic && automatic->isChecked());
            automatic->click();
        }
        auto* manual = page.findChild<QSpinBox*>(manualKey + QStringLiteral("Value"));
        QVERIFY(manual);
        QTRY_VERIFY_WITH_TIMEOUT(manual->isEnabled(), 2000);
        manual->setValue(manual->minimum() + (manual->maximum() - manual->minimum()) / 3);
    });
    if (QTest::currentTestFailed())
        return;
    for (const QString& key : {QStringLiteral("brightness"), menuKey, automaticKey, manualKey})
        kept[key] = ctlValue(key);
    const auto onTheDriver = [&] {
        return std::all_of(kept.begin(), kept.end(), [](const auto& k) { return ctlValue(k.first) == k.second; });
    };
    const auto said = [&] {
        QString text;
        for (const auto& [key, value] : kept)
            text += QStringLiteral("%1 kept %2, now %3; ").arg(key).arg(value).arg(ctlValue(key));
        return text;
    };
    const std::string nodeBefore = Node;

    if (!usb) {
        rig.reset();
        const auto reloadAsBefore = qScopeGuard([] { reloadVivid({}); });
        // Below the virtual camera's node, where there is one, so that vivid stays the first camera listed.
        QVERIFY(reloadVivid(QStringLiteral("vid_cap_nr=3")));
        QVERIFY2(Node != nodeBefore, Node.c_str());
        QVERIFY(!onTheDriver());  // a new device, at its defaults
        Window<mirrane::Form1> window("mirrane");
        QVERIFY2(onTheDriver(), qPrintable(said()));
        window.form->findChild<QPushButton*>("Command1")->click();
        QTRY_VERIFY_WITH_TIMEOUT(window.showsPicture(), 20000);
        QVERIFY2(onTheDriver(), qPrintable(said()));
        QCOMPARE(window.form->findChild<QSlider*>("BrightnessSlider1")->value(), kept[QStringLiteral("brightness")]);
        return;
    }

    // Pulled out and plugged in while the control runs: it gets what it keeps as it arrives.
    const auto listed = [&] {
        const auto video = controltest::names(*rig->orvex, Member::VideoDevices);
        return std::count(video.begin(), video.end(), camera().card) == 1;
    };
    QCOMPARE(::kill(player, SIGUSR1), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!listed(), 10000);
    QCOMPARE(::kill(player, SIGUSR2), 0);
    QTRY_VERIFY_WITH_TIMEOUT(listed() && !(Node = findNode(camera().card)).empty(), 30000);
    QVERIFY2(onTheDriver(), qPrintable(said()));

    rig->put(Member::VideoDevice, Member::VideoDevices, camera().card);
    rig->startPreview();
    QTRY_VERIFY2_WITH_TIMEOUT(onTheDriver(), qPrintable(said()), 5000);
    rig->orvex->call(Member::Stop);
}
