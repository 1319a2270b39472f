#pragma once

#include "ControlPageModel.h"
#include "capture/contract/Member.h"

#include <QDialog>
#include <QTimer>

#include <memory>
#include <vector>

class QFormLayout;
class QLabel;
class QProgressBar;
class QPushButton;

namespace capture {

class DeviceControlsPanel;
class StationScan;

// The control's own page: sources, every setting of the device (DeviceControlsPanel), tuner
// (with a station scan for a card that needs one), recording file and statistics that refresh
// while the page is open.
class ControlPropertyPage : public QDialog {
    Q_OBJECT
public:
    explicit ControlPropertyPage(ControlPageModel& model, QWidget* parent = nullptr);
    ~ControlPropertyPage() override;

private:
    QWidget* sourcesGroup();
    QWidget* settingsGroup();
    QWidget* tunerGroup();
    void addStationScan(QFormLayout& form, Tuner& scanner);
    void startOrStopScan();
    void scanFinished(bool completed, const QString& failure);
    QWidget* recordingGroup();
    void refreshStatistics();
    void refreshSoundLevels();

    ControlPageModel& m_model;
    DeviceControlsPanel* m_settingsPanel = nullptr;
    QLabel* m_framesCaptured = nullptr;
    QLabel* m_framesDropped = nullptr;
    QLabel* m_framesBroken = nullptr;
    QLabel* m_fileSize = nullptr;
    QWidget* m_soundLevels = nullptr;
    std::vector<QProgressBar*> m_levelBars;  // one per channel, in m_soundLevels
    QLabel* m_noSound = nullptr;
    Tuner* m_scanner = nullptr;
    QPushButton* m_scanButton = nullptr;
    QProgressBar* m_scanProgress = nullptr;
    QLabel* m_scanStatus = nullptr;
    QTimer m_refresh;
    QTimer m_levelRefresh;  // a meter must move faster than the figures
    std::unique_ptr<StationScan> m_scan;  // last: a running scan stops before the rest goes
};

// "Backlight Compensation" for BacklightCompensation.
QString settingLabel(Member property);

}  // namespace capture
