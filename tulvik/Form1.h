#pragma once

#include "capture/contract/CaptureWidget.h"
#include "desktop/CommonDialog.h"
#include "desktop/FailureReporter.h"
#include "desktop/MessageBox.h"
#include "desktop/Toolkit.h"

#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tulvik {

// The TV-tuner window: lists the video devices, starts the tuner with a country code, lists
// its channels, tunes and mutes, takes still pictures and records. All work is the capture
// control's; the window passes values on and switches its buttons.
class Form1 : public QWidget {
    Q_OBJECT

public:
    Form1(const capture::CaptureWidgetFactory& makeOrvex, desktop::Toolkit& toolkit,
          desktop::FailureReporter& reporter, QWidget* parent = nullptr);
    ~Form1() override;

    // The load handler: fills the device list.
    void load();

    // Snapshots go to test.bmp in this folder; by default the program's own (see snapshotFolder).
    void setSnapshotFolder(const QString& folder);
    QString snapshotPath() const;

private:
    void createControls(const capture::CaptureWidgetFactory& makeOrvex);
    void arrangeTabOrder();
    void connectHandlers(desktop::FailureReporter& reporter);

    void start();
    void putSelectedDevice();
    void fillChannelList();
    void chooseChannel();
    void mute();
    void snapShot();
    void captureToFile();
    void stopCapture();
    void showPropertyPage();

    capture::CaptureWidget* m_orvex = nullptr;
    QPushButton* m_start = nullptr;
    QListWidget* m_channels = nullptr;
    QPushButton* m_snapShot = nullptr;
    QLabel* m_picture = nullptr;
    QLabel* m_deviceLabel = nullptr;
    QComboBox* m_devices = nullptr;
    QPushButton* m_capture = nullptr;
    QLabel* m_channelLabel = nullptr;
    QPushButton* m_stopCapture = nullptr;
    QCheckBox* m_mute = nullptr;
    QPushButton* m_propertyPage = nullptr;
    QLineEdit* m_countryCode = nullptr;
    QLabel* m_countryLabel = nullptr;
    QLabel* m_countryHint = nullptr;

    std::unique_ptr<desktop::CommonDialog> m_saveDialog;
    std::unique_ptr<desktop::MessageBox> m_messageBox;
    QString m_snapshotFolder;
};

}  // namespace tulvik
