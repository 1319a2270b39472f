#pragma once

#include "ControlPageModel.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QSlider;

namespace capture {

// The control's own page: sources, picture settings with sliders that act while they move,
// tuner, recording file and statistics that refresh while the page is open.
class ControlPropertyPage : public QDialog {
    Q_OBJECT
public:
    explicit ControlPropertyPage(ControlPageModel& model, QWidget* parent = nullptr);

private:
    QWidget* sourcesGroup();
    QWidget* cameraGroup();
    QWidget* tunerGroup();
    QWidget* recordingGroup();
    void applySetting(Member property, int value);
    void refreshStatistics();

    ControlPageModel& m_model;
    QLabel* m_settingStatus = nullptr;
    QLabel* m_framesCaptured = nullptr;
    QLabel* m_framesDropped = nullptr;
    QLabel* m_fileSize = nullptr;
    QTimer m_refresh;
};

// "Backlight Compensation" for BacklightCompensation.
QString settingLabel(Member property);

}  // namespace capture
