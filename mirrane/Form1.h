#pragma once

#include "capture/contract/CaptureWidget.h"
#include "desktop/FailureReporter.h"
#include "desktop/Toolkit.h"

#include <QWidget>

#include <array>

class QComboBox;
class QPushButton;
class QSlider;

namespace mirrane {

// The camera-control window: pick a video input, start the preview, and drive the camera's ten
// picture settings with sliders that take the ranges the camera reports.
class Form1 : public QWidget {
public:
    Form1(const capture::CaptureWidgetFactory& makeOrvex, desktop::Toolkit& toolkit,
          desktop::FailureReporter& reporter, QWidget* parent = nullptr);

    // Runs once before the window is shown: fills the video-input list.
    void load();

private:
    struct CameraRow {
        capture::Member property;
        QSlider* slider;
    };

    void buildControls(const capture::CaptureWidgetFactory& makeOrvex);
    void arrangeTabOrder();
    void connectHandlers(desktop::FailureReporter& reporter);

    void previewClick();
    void proPageClick();
    void sliderScroll(const CameraRow& row);

    void setUpSlider(const CameraRow& row);
    std::int32_t readRange(capture::Member property, int member);

    QPushButton* m_command1 = nullptr;
    QPushButton* m_cmdProPage = nullptr;
    QComboBox* m_cboVideoInput = nullptr;
    capture::CaptureWidget* m_orvex1 = nullptr;
    // In the order "Preview" sets them up: Brightness first, Gain last.
    std::array<CameraRow, 10> m_cameraRows{};
};

}  // namespace mirrane
