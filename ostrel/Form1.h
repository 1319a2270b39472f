#pragma once

#include "capture/contract/CaptureWidget.h"
#include "desktop/CommonDialog.h"
#include "desktop/FailureReporter.h"
#include "desktop/MessageBox.h"
#include "desktop/Toolkit.h"

#include <QWidget>

#include <cstdint>
#include <memory>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace ostrel {

// The capture-to-file window: six source lists, the recording options, preview, capture and
// stop, and the settings that act on the control at once. It holds no capture logic: it lists
// what Orvex1 reports and hands the user's choices back to it.
class Form1 : public QWidget {
    Q_OBJECT

public:
    Form1(const capture::CaptureWidgetFactory& makeOrvex, desktop::Toolkit& toolkit,
          desktop::FailureReporter& reporter, QWidget* parent = nullptr);
    ~Form1() override;

    // The load handler: mutes the tuner and fills the six source lists.
    void load();

private:
    void buildControls(const capture::CaptureWidgetFactory& makeOrvex);
    void arrangeTabOrder();
    void connectHandlers();
    void onClick(QAbstractButton* button, void (Form1::*handler)());

    // Handlers of user events.
    void previewClicked();
    void captureClicked();
    void stopCaptureClicked();
    void settingClicked();
    void backgroundColorClicked();
    void aspectRatioClicked();
    void tvMuteClicked();
    void useAudioCompressorClicked();
    void useVideoCompressorClicked();

    // Hands the six list choices to the control by name.
    void ControlCap();

    void fillList(QComboBox* list, capture::Member collection);
    void applySource(QComboBox* list, capture::Member collection, capture::Member choice);
    std::int16_t indexOf(capture::Member collection, const QString& name);
    void putOption(capture::Member member, const QCheckBox* box);
    void putBoolean(capture::Member member, bool value);
    std::int16_t start();
    void setRecordingButtons(bool recording);

    desktop::FailureReporter& m_reporter;

    QComboBox* m_cboDevice = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_label2 = nullptr;
    QComboBox* m_cboVideoFormat = nullptr;
    QLabel* m_label3 = nullptr;
    QComboBox* m_cboAudioCompressor = nullptr;
    QLabel* m_label4 = nullptr;
    QComboBox* m_cboAudioDevice = nullptr;
    QLabel* m_label5 = nullptr;
    QComboBox* m_cboVideoCompressor = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command3 = nullptr;
    QCheckBox* m_chkShowPreview = nullptr;
    QLabel* m_capStatus = nullptr;
    QCheckBox* m_chkUseOrvex = nullptr;
    QCheckBox* m_chkUseAudioCap = nullptr;
    QCheckBox* m_chkCaptureAudio = nullptr;
    QCheckBox* m_chkCaptureVideo = nullptr;
    QCheckBox* m_chkAspectRatio = nullptr;
    QPushButton* m_cmdBackgroundColor = nullptr;
    QLabel* m_label6 = nullptr;
    QComboBox* m_cboVideoInput = nullptr;
    QCheckBox* m_chkTVMute = nullptr;
    capture::CaptureWidget* m_orvex1 = nullptr;
    QPushButton* m_command5 = nullptr;

    std::unique_ptr<desktop::CommonDialog> m_commonDialog1;  // save dialog of "Capture"
    std::unique_ptr<desktop::CommonDialog> m_commonDialog2;  // colour dialog of "Background Color"
    std::unique_ptr<desktop::MessageBox> m_messageBox;
};

}  // namespace ostrel
