#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace capture {

class KeptCamera;

// Below a camera's controls on the control's page: whether the camera keeps its settings,
// forgetting it, and what could not be put back or kept.
class KeptCameraRow : public QWidget {
    Q_OBJECT
public:
    explicit KeptCameraRow(KeptCamera& camera, QWidget* parent = nullptr);

private:
    void keep(bool on);
    void forget();
    void showProblems();

    KeptCamera& m_camera;
    QCheckBox* m_keep = nullptr;
    QPushButton* m_forget = nullptr;
    QLabel* m_problems = nullptr;
};

}  // namespace capture
