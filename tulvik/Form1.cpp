#include "Form1.h"

#include "NumberReading.h"

#include "desktop/Fonts.h"
#include "desktop/Twips.h"

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

namespace {

const QString ProgramTitle = QStringLiteral("tulvik");
const QString AviFilter = QStringLiteral("Avi File (*.avi)|*.avi");

template <typename Widget>
Widget* placed(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* widget = new Widget(parent);
    widget->setObjectName(QLatin1String(name));
    desktop::placeInTwips(widget, left, top, width, height);
    return widget;
}

template <typename Widget>
Widget* placed(QWidget* parent, const char* name, const QString& text, int left, int top, int width,
               int height)
{
    auto* widget = placed<Widget>(parent, name, left, top, width, height);
    widget->setText(text);
    return widget;
}

std::string utf8(const QString& text) { return text.toStdString(); }

}  // namespace

Form1::Form1(const capture::CaptureWidgetFactory& makeOrvex, desktop::Toolkit& toolkit,
             desktop::FailureReporter& reporter, QWidget* parent)
    : QWidget(parent), m_snapshotFolder(QCoreApplication::applicationDirPath())
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
    m_orvex = makeOrvex(this);
    m_orvex->setObjectName(QStringLiteral("Orvex1"));
    desktop::placeInTwips(m_orvex, 240, 960, 4335, 3255);

    m_start = placed<QPushButton>(this, "Command1", QStringLiteral("Start"), 4200, 120, 1095, 375);
    m_channels = placed<QListWidget>(this, "List1", 240, 4800, 3255, 2205);
    m_channels->setSelectionMode(QAbstractItemView::SingleSelection);
    m_snapShot = placed<QPushButton>(this, "Command2", QStringLiteral("SnapShot"), 5400, 120, 1095, 375);
    m_snapShot->setEnabled(false);

    // A still picture larger than the box is clipped at the right and bottom, never scaled.
    m_picture = placed<QLabel>(this, "Picture1", 5160, 840, 4335, 3375);
    m_picture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_picture->setScaledContents(false);

    m_deviceLabel = placed<QLabel>(this, "Label1", QStringLiteral("Video Device"), 120, 120, 1215, 255);
    m_devices = placed<QComboBox>(this, "cboDevice", 1680, 120, 2415, 315);
    m_devices->setEditable(false);
    m_capture = placed<QPushButton>(this, "Command3", QStringLiteral("Capture"), 6600, 120, 1095, 375);
    m_capture->setEnabled(false);
    m_channelLabel = placed<QLabel>(this, "Label2", QStringLiteral("TV Channel No."), 240, 4440, 1335, 255);
    m_stopCapture = placed<QPushButton>(this, "Command4", QStringLiteral("Stop Capture"), 7800, 120, 1095, 375);
    m_stopCapture->setEnabled(false);
    m_mute = placed<QCheckBox>(this, "Check1", QStringLiteral("Mute"), 3720, 5280, 975, 375);
    m_propertyPage = placed<QPushButton>(this, "Command5", QStringLiteral("Orvex Property Page"), 3720,
                                         6120, 2295, 615);
    m_countryCode = placed<QLineEdit>(this, "Text1", QStringLiteral("1"), 1680, 480, 1455, 285);
    m_countryLabel = placed<QLabel>(this, "Label3", QStringLiteral("Country Code"), 120, 480, 1215, 255);
    m_countryHint = placed<QLabel>(this, "Label4",
                                   QStringLiteral("if you do not know your country code ,see the help file"),
                                   3240, 480, 4455, 255);
}

void Form1::arrangeTabOrder()
{
    QWidget* const order[] = {m_orvex,       m_start,        m_channels,    m_snapShot,
                                    m_picture,     m_deviceLabel,  m_devices,     m_capture,
                                    m_channelLabel, m_stopCapture, m_mute,        m_propertyPage,
                                    m_countryCode, m_countryLabel, m_countryHint};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
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
    auto devices = m_orvex->collection(Member::VideoDevices);
    capture::forEachItem(*devices, [this](capture::CaptureItem& device) {
        m_devices->addItem(QString::fromStdString(capture::toText(device.name())));
    });
    if (m_devices->count() > 0)
        m_devices->setCurrentIndex(0);
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
    const QString name = m_devices->currentIndex() >= 0 ? m_devices->currentText() : QString();
    const std::int16_t index =
        capture::toInt16(m_orvex->collection(Member::VideoDevices)->indexOf(Value::text(utf8(name))));
    if (index != -1)
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
    if (!capture::toBoolean(m_orvex->call(Member::SnapShot, Value::text(utf8(path))))) {
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
    if (status == -1) {
        m_messageBox->show(
            QStringLiteral("Capture Failure,Video, Audio Compressor not correct or capture file opening"));
    } else if (status == -2) {
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
