#include "ControlPropertyPage.h"

#include "DeviceControlsPanel.h"
#include "KeptCameraRow.h"
#include "StationScan.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace capture {

namespace {

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

QString orNone(const std::string& text, const QString& none)
{
    return text.empty() ? none : fromStd(text);
}

QGroupBox* group(const QString& title, QLayout* layout)
{
    auto* box = new QGroupBox(title);
    box->setLayout(layout);
    return box;
}

QString number(double value) { return QString::number(value, 'g', 12); }

}  // namespace

QString settingLabel(Member property)
{
    const QString name = QString::fromLatin1(memberName(property).data(),
                                             static_cast<int>(memberName(property).size()));
    QString label;
    for (QChar c : name) {
        if (c.isUpper() && !label.isEmpty())
            label += QLatin1Char(' ');
        label += c;
    }
    return label;
}

ControlPropertyPage::ControlPropertyPage(ControlPageModel& model, QWidget* parent)
    : QDialog(parent), m_model(model)
{
    setObjectName(QStringLiteral("ControlPropertyPage"));
    setWindowTitle(tr("Capture Properties"));
    setModal(true);
    // It grows with the device: a camera's controls want more room than a tuner's.
    setSizeGripEnabled(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sourcesGroup());
    layout->addWidget(settingsGroup(), 1);
    layout->addWidget(tunerGroup());
    layout->addWidget(recordingGroup());
    layout->addWidget(buttons);

    connect(&m_refresh, &QTimer::timeout, this, &ControlPropertyPage::refreshStatistics);
    m_refresh.start(500);
    refreshStatistics();
    connect(&m_levelRefresh, &QTimer::timeout, this, &ControlPropertyPage::refreshSoundLevels);
    m_levelRefresh.start(100);
    refreshSoundLevels();
}

ControlPropertyPage::~ControlPropertyPage()
{
    // The panel leaves the controls it watches while the device is still there.
    delete m_settingsPanel;
}

QWidget* ControlPropertyPage::sourcesGroup()
{
    auto* form = new QFormLayout;
    form->addRow(tr("Video device:"), new QLabel(fromStd(m_model.videoDeviceName())));
    form->addRow(tr("Video input:"), new QLabel(orNone(m_model.videoInputName(), tr("(none)"))));
    form->addRow(tr("Video format:"), new QLabel(orNone(m_model.videoFormatName(), tr("(none)"))));
    form->addRow(tr("Audio device:"), new QLabel(orNone(m_model.audioDeviceName(), tr("(none)"))));
    m_soundLevels = new QWidget;
    m_soundLevels->setObjectName(QStringLiteral("soundLevels"));
    auto* bars = new QVBoxLayout(m_soundLevels);
    bars->setContentsMargins(0, 0, 0, 0);
    m_noSound = new QLabel(tr("(no sound running)"));
    bars->addWidget(m_noSound);
    form->addRow(tr("Sound level:"), m_soundLevels);
    return group(tr("Sources"), form);
}

QWidget* ControlPropertyPage::settingsGroup()
{
    // A camera lists dozens: each class's tab scrolls, while the rest of the page stays in view.
    m_settingsPanel = new DeviceControlsPanel(m_model.deviceControls());
    m_settingsPanel->setMinimumHeight(280);
    auto* layout = new QVBoxLayout;
    layout->addWidget(m_settingsPanel);
    if (KeptCamera* camera = m_model.keptCamera())
        layout->addWidget(new KeptCameraRow(*camera));
    return group(tr("Device Settings"), layout);
}

QWidget* ControlPropertyPage::tunerGroup()
{
    auto* form = new QFormLayout;
    const std::optional<TunerState> tuner = m_model.tuner();
    if (!tuner) {
        form->addRow(new QLabel(tr("This device has no TV tuner.")));
    } else {
        form->addRow(tr("Country code:"),
                     new QLabel(tuner->countryCode ? number(*tuner->countryCode) : tr("(not set)")));
        form->addRow(tr("Channel:"),
                     new QLabel(tuner->channel ? number(*tuner->channel) : tr("(not tuned)")));
        form->addRow(tr("Sound:"), new QLabel(tuner->muted ? tr("muted") : tr("on")));
        if (Tuner* scanner = m_model.stationScanner())
            addStationScan(*form, *scanner);
    }
    return group(tr("TV Tuner"), form);
}

// A real card does not know which channels carry a station until it has tuned each one.
void ControlPropertyPage::addStationScan(QFormLayout& form, Tuner& scanner)
{
    m_scanner = &scanner;
    m_scan = std::make_unique<StationScan>(scanner);
    m_scanButton = new QPushButton(tr("Scan for Stations"));
    m_scanButton->setObjectName(QStringLiteral("scanStations"));
    m_scanProgress = new QProgressBar;
    m_scanProgress->setObjectName(QStringLiteral("scanProgress"));
    m_scanProgress->setValue(0);
    m_scanStatus = new QLabel(tr("Until a scan, every channel of the country is offered."));
    m_scanStatus->setObjectName(QStringLiteral("scanStatus"));
    m_scanStatus->setWordWrap(true);

    connect(m_scanButton, &QPushButton::clicked, this, &ControlPropertyPage::startOrStopScan);
    connect(m_scan.get(), &StationScan::progressed, this, [this](int done, int total) {
        m_scanProgress->setRange(0, total);
        m_scanProgress->setValue(done);
    });
    connect(m_scan.get(), &StationScan::finished, this, &ControlPropertyPage::scanFinished);

    auto* row = new QHBoxLayout;
    row->addWidget(m_scanButton);
    row->addWidget(m_scanProgress, 1);
    form.addRow(tr("Stations:"), row);
    form.addRow(m_scanStatus);
}

void ControlPropertyPage::startOrStopScan()
{
    if (m_scan->running()) {
        m_scan->stop();
        m_scanButton->setEnabled(false);
        m_scanStatus->setText(tr("Stopping after this channel..."));
        return;
    }
    if (m_scanner->channels().empty()) {
        m_scanStatus->setText(tr("There are no channels to scan: set the country code first."));
        return;
    }
    m_scanProgress->setValue(0);
    m_scanButton->setText(tr("Stop Scan"));
    m_scanStatus->setText(tr("Tuning every channel and listening for a station..."));
    m_scan->start();
}

void ControlPropertyPage::scanFinished(bool completed, const QString& failure)
{
    m_scanButton->setText(tr("Scan for Stations"));
    m_scanButton->setEnabled(true);
    if (!failure.isEmpty()) {
        m_scanStatus->setText(tr("The scan stopped: %1 The channel list is as it was.").arg(failure));
        return;
    }
    if (!completed) {
        m_scanStatus->setText(tr("The scan was stopped; the channel list is as it was."));
        return;
    }
    const std::vector<TunerChannel> channels = m_scanner->channels();
    const auto stations = std::count_if(channels.begin(), channels.end(),
                                        [](const TunerChannel& channel) { return channel.available; });
    m_scanStatus->setText(tr("Found %1 stations on %2 channels; the channel list offers those with a station.")
                              .arg(stations)
                              .arg(channels.size()));
}

QWidget* ControlPropertyPage::recordingGroup()
{
    auto* form = new QFormLayout;
    form->addRow(tr("File:"), new QLabel(orNone(m_model.recordingFile(), tr("(not recording)"))));
    m_framesCaptured = new QLabel;
    m_framesDropped = new QLabel;
    m_framesBroken = new QLabel;
    m_fileSize = new QLabel;
    m_framesCaptured->setObjectName(QStringLiteral("framesCaptured"));
    m_framesDropped->setObjectName(QStringLiteral("framesDropped"));
    m_framesBroken->setObjectName(QStringLiteral("framesBroken"));
    m_fileSize->setObjectName(QStringLiteral("fileSize"));
    form->addRow(tr("Frames captured:"), m_framesCaptured);
    form->addRow(tr("Frames dropped:"), m_framesDropped);
    form->addRow(tr("Broken frames skipped:"), m_framesBroken);
    form->addRow(tr("File size:"), m_fileSize);
    auto* failure = new QLabel(orNone(m_model.lastFailure(), tr("(none)")));
    failure->setObjectName(QStringLiteral("lastFailure"));
    failure->setWordWrap(true);
    form->addRow(tr("Last failure:"), failure);
    return group(tr("Recording"), form);
}

// One bar per channel, from -60 dB to 0 dB, with the figure written on it.
void ControlPropertyPage::refreshSoundLevels()
{
    const std::vector<double> levels = m_model.soundLevels();
    while (m_levelBars.size() > levels.size()) {
        delete m_levelBars.back();
        m_levelBars.pop_back();
    }
    while (m_levelBars.size() < levels.size()) {
        auto* bar = new QProgressBar;
        bar->setObjectName(QStringLiteral("soundLevel%1").arg(m_levelBars.size()));
        bar->setRange(-60, 0);
        m_soundLevels->layout()->addWidget(bar);
        m_levelBars.push_back(bar);
    }
    m_noSound->setVisible(levels.empty());
    for (size_t channel = 0; channel < levels.size(); ++channel) {
        const double level = levels[channel];
        const auto shown = static_cast<qulonglong>(channel + 1);
        m_levelBars[channel]->setValue(static_cast<int>(std::clamp(level, -60.0, 0.0)));
        m_levelBars[channel]->setFormat(level <= -60 ? tr("channel %1: silent").arg(shown)
                                                     : tr("channel %1: %2 dB").arg(shown).arg(level, 0, 'f', 0));
    }
}

void ControlPropertyPage::refreshStatistics()
{
    const LiveStatistics figures = m_model.statistics();
    m_framesCaptured->setText(QString::number(figures.framesCaptured));
    m_framesDropped->setText(QString::number(figures.framesDropped));
    m_framesBroken->setText(QString::number(figures.framesBroken));
    m_fileSize->setText(figures.recording || figures.fileBytes
                            ? QLocale().formattedDataSize(static_cast<qint64>(figures.fileBytes))
                            : tr("(not recording)"));
}

}  // namespace capture
