#include "Form1.h"

#include "NumberReading.h"
#include "SnapshotFolder.h"
#include "capture/contract/StartStatus.h"

#include "desktop/CheckBox.h"
#include "desktop/CollectionList.h"
#include "desktop/Controls.h"
#include "desktop/Fonts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>

namespace tulvik {

using capture::Member;
using capture::Value;

using desktop::placed;

namespace {

const QString ProgramTitle = QStringLiteral("tulvik");
const QString AviFilter = QStringLiteral("Avi File (*.avi)|*.avi");

std::string utf8(const QString& text) { return text.toStdString(); }

}  // namespace

Form1::Form1(const capture::CaptureWidgetFactory& makeOrvex, desktop::Toolkit& toolkit,
             desktop::FailureReporter& reporter, QWidget* parent)
    : QWidget(parent), m_snapshotFolder(snapshotFolder(QCoreApplication::applicationDirPath()))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("TV Tunner Demo"));
    setFont(desktop::dialogFont());
    desktop::sizeClientInTwips(this, 9720, 7410);

    createControls(makeOrvex);
    arrangeTabOrder();
    m_saveDialog = toolkit.commonDialog(this);
    m_messageBox = toolkit.messageBox(this, ProgramTitle);
    connectHandlers(reporter);
}

Form1::~Form1() = default;

void Form1::createControls(const capture::CaptureWidgetFactory& makeOrvex)
{
    m_orvex = placed(makeOrvex(this), "Orvex1", 240, 960, 4335, 3255);

    m_start = placed(new QPushButton(QStringLiteral("Start"), this), "Command1", 4200, 120, 1095, 375);
    m_channels = placed(new QListWidget(this), "List1", 240, 4800, 3255, 2205);
    m_channels->setSelectionMode(QAbstractItemView::SingleSelection);
    m_snapShot = placed(new QPushButton(QStringLiteral("SnapShot"), this), "Command2", 5400, 120, 1095, 375);
    m_snapShot->setEnabled(false);

    // A still picture larger than the box is clipped at the right and bottom, never scaled.
    m_picture = placed(new QLabel(this), "Picture1", 5160, 840, 4335, 3375);
    m_picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_picture->setScaledContents(false);

    m_deviceLabel = placed(new QLabel(QStringLiteral("Video Device"), this), "Label1", 120, 120, 1215, 255);
    m_devices = placed(new QComboBox(this), "cboDevice", 1680, 120, 2415, 315);
    m_devices->setEditable(false);
    m_capture = placed(new QPushButton(QStringLiteral("Capture"), this), "Command3", 6600, 120, 1095, 375);
    m_capture->setEnabled(false);
    m_channelLabel = placed(new QLabel(QStringLiteral("TV Channel No."), this), "Label2", 240, 4440, 1335, 255);
    m_stopCapture = placed(new QPushButton(QStringLiteral("Stop Capture"), this), "Command4", 7800, 120, 1095, 375);
    m_stopCapture->setEnabled(false);
    m_mute = placed(new desktop::CheckBox(QStringLiteral("Mute"), this), "Check1", 3720, 5280, 975, 375);
    m_propertyPage =
        placed(new QPushButton(QStringLiteral("Orvex Property Page"), this), "Command5", 3720, 6120, 2295, 615);
    m_countryCode = placed(new QLineEdit(QStringLiteral("1"), this), "Text1", 1680, 480, 1455, 285);
    m_countryLabel = placed(new QLabel(QStringLiteral("Country Code"), this), "Label3", 120, 480, 1215, 255);
    const QString countryHint = QStringLiteral("if you do not know your country code ,see the help file");
    m_countryHint = placed(new QLabel(countryHint, this), "Label4", 3240, 480, 4455, 255);

    desktop::labelFor(m_deviceLabel, m_devices);
    desktop::labelFor(m_channelLabel, m_channels);
    desktop::labelFor(m_countryLabel, m_countryCode);
    m_countryCode->setAccessibleDescription(countryHint);
}

void Form1::arrangeTabOrder()
{
    desktop::chainTabOrder({m_orvex, m_start, m_channels, m_snapShot, m_picture, m_deviceLabel, m_devices,
                            m_capture, m_channelLabel, m_stopCapture, m_mute, m_propertyPage, m_countryCode,
                            m_countryLabel, m_countryHint});
}

void Form1::connectHandlers(desktop::FailureReporter& reporter)
{
    using desktop::guarded;
    connect(m_start, &QPushButton::clicked, this, guarded(reporter, this, [this] { start(); }));
    // Mouse and keyboard both change the selection; either chooses a channel.
    connect(m_channels, &QListWidget::itemSelectionChanged, this,
            guarded(reporter, this, [this] { chooseChannel(); }));
    connect(m_mute, &QCheckBox::clicked, this, guarded(reporter, this, [this] { mute(); }));
    connect(m_snapShot, &QPushButton::clicked, this, guarded(reporter, this, [this] { snapShot(); }));
    connect(m_capture, &QPushButton::clicked, this, guarded(reporter, this, [this] { captureToFile(); }));
    connect(m_stopCapture, &QPushButton::clicked, this, guarded(reporter, this, [this] { stopCapture(); }));
    connect(m_propertyPage, &QPushButton::clicked, this,
            guarded(reporter, this, [this] { showPropertyPage(); }));
}

void Form1::setSnapshotFolder(const QString& folder) { m_snapshotFolder = folder; }

QString Form1::snapshotPath() const { return QDir(m_snapshotFolder).filePath(QStringLiteral("test.bmp")); }

void Form1::load()
{
    desktop::fillList(m_devices, *m_orvex->collection(Member::VideoDevices));
}

void Form1::start()
{
    putSelectedDevice();
    m_orvex->put(Member::TVCountryCode, Value::f64(readNumber(utf8(m_countryCode->text()))));
    m_orvex->call(Member::Start);
    if (!capture::toBoolean(m_orvex->get(Member::HasTVTuner)))
        m_messageBox->show(QStringLiteral("No TV Tunner found"));
    fillChannelList();
    m_start->setEnabled(false);
    m_devices->setEnabled(false);
    m_snapShot->setEnabled(true);
    m_capture->setEnabled(true);
}

// The device list is only a display of names; the choice reaches the control by name.
void Form1::putSelectedDevice()
{
    const QString name = desktop::selectedText(m_devices);
    const std::int16_t index = desktop::indexOfName(*m_orvex->collection(Member::VideoDevices), name);
    if (index != desktop::NotFound)
        m_orvex->put(Member::VideoDevice, Value::i16(index));
}

void Form1::fillChannelList()
{
    m_channels->clear();
    auto channels = m_orvex->collection(Member::TVChannels);
    capture::forEachItem(*channels, [this](capture::CaptureItem& channel) {
        if (capture::toInt32(channel.available()) != 0)
            m_channels->addItem(QString::fromStdString(capture::toText(channel.name())));
    });
}

void Form1::chooseChannel()
{
    // Emptying the list for a new "Start" takes the selection away; that chooses no channel.
    const QList<QListWidgetItem*> selected = m_channels->selectedItems();
    if (selected.isEmpty())
        return;
    m_orvex->put(Member::TVChannel, Value::f64(readNumber(utf8(selected.constFirst()->text()))));
}

void Form1::mute()
{
    m_orvex->put(Member::TVMute, Value::boolean(m_mute->checkState() == Qt::Checked));
}

void Form1::snapShot()
{
    const QString path = snapshotPath();
    bool saved = false;
    try {
        saved = capture::toBoolean(m_orvex->call(Member::SnapShot, Value::text(utf8(path))));
    } catch (const capture::CaptureError& error) {
        // The control had a picture but could not save it; its message says why.
        m_messageBox->show(QStringLiteral("The snapshot failed: %1").arg(QString::fromUtf8(error.what())));
        return;
    }
    if (!saved) {
        m_messageBox->show(QStringLiteral("The snapshot failed: the capture control had no picture to "
                                          "save. Wait until the live picture shows, then try again."));
        return;
    }
    QImage picture;
    if (!picture.load(path)) {
        m_messageBox->show(QStringLiteral("The snapshot failed: %1 could not be read as a picture. "
                                          "Check that the folder can be written to, then try again.")
                               .arg(QDir::toNativeSeparators(path)));
        return;
    }
    m_picture->setPixmap(QPixmap::fromImage(picture));
}

void Form1::captureToFile()
{
    m_saveDialog->setFilter(AviFilter);
    m_saveDialog->showSave();
    if (m_saveDialog->cancelled())
        return;
    m_orvex->put(Member::CaptureVideo, Value::boolean(true));
    m_orvex->put(Member::CaptureAudio, Value::boolean(true));
    m_orvex->put(Member::ShowPreview, Value::boolean(true));
    m_orvex->put(Member::UseVideoCompressor, Value::boolean(false));
    m_orvex->put(Member::UseAudioCompressor, Value::boolean(false));
    m_orvex->put(Member::CaptureToFile, Value::boolean(true));
    m_orvex->put(Member::CaptureFileName, Value::text(utf8(m_saveDialog->fileName())));
    const std::int16_t status = capture::toInt16(m_orvex->call(Member::Start));
    if (status == capture::CannotRecord) {
        m_messageBox->show(
            QStringLiteral("Capture Failure,Video, Audio Compressor not correct or capture file opening"));
    } else if (status == capture::FileNotFound) {
        m_messageBox->show(QStringLiteral("Capture file not found"));
    } else {
        m_capture->setEnabled(false);
        m_stopCapture->setEnabled(true);
    }
}

void Form1::stopCapture()
{
    m_start->setEnabled(true);
    m_devices->setEnabled(true);
    m_orvex->call(Member::Stop);
    m_orvex->put(Member::CaptureToFile, Value::boolean(false));
    m_orvex->call(Member::Start);
    m_stopCapture->setEnabled(false);
    m_capture->setEnabled(true);
}

void Form1::showPropertyPage() { m_orvex->call(Member::ShowPropertyPage); }

}  // namespace tulvik
