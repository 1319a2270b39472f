#include "VideoView.h"

#include "ViewLog.h"

#include "capture/devices/PixelShape.h"

#include <QAccessible>
#include <QMutexLocker>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace capture {

namespace {

QString elapsedText(double seconds)
{
    const auto whole = static_cast<long long>(seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600, 2, 10, QLatin1Char('0'))
        .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

// Text on a dark translucent plate so that it reads over any picture. Answers the plate.
QRect drawPlate(QPainter& painter, const QRect& area, Qt::Alignment alignment, const QString& text,
                const QColor& accent)
{
    const int margin = 8;
    QRect bounds = painter.fontMetrics().boundingRect(area.adjusted(margin, margin, -margin, -margin),
                                                      int(alignment) | Qt::TextWordWrap, text);
    QRect plate = bounds.adjusted(-6, -4, 6, 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 170));
    painter.drawRoundedRect(plate, 4, 4);
    painter.setPen(accent);
    painter.drawText(bounds, int(alignment) | Qt::TextWordWrap, text);
    return plate;
}

// A bar from -60 dB (empty) to 0 dB (full), green, yellow from -12 dB, red from -3 dB, on a
// plate as high as a line of the overlay's text.
void drawMeter(QPainter& painter, QPoint topLeft, int height, double decibels)
{
    constexpr double Floor = -60;
    const QRect plate(topLeft, QSize(std::max(60, height * 4), height));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 170));
    painter.drawRoundedRect(plate, 4, 4);
    const QRect track = plate.adjusted(5, height / 3, -5, -height / 3);
    const double share = std::clamp((decibels - Floor) / -Floor, 0.0, 1.0);
    const QColor colour = decibels >= -3 ? QColor(255, 70, 70) : decibels >= -12 ? QColor(250, 210, 60) : QColor(80, 220, 100);
    painter.fillRect(QRect(track.topLeft(), QSize(int(track.width() * share), track.height())), colour);
}

}  // namespace

VideoView::VideoView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("VideoView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_noticeTimer.setSingleShot(true);
    connect(&m_noticeTimer, &QTimer::timeout, this, [this] {
        m_notice.clear();
        changed();
    });
}

VideoView::~VideoView() = default;

void VideoView::present(const QImage& frame)
{
    {
        QMutexLocker lock(&m_frameLock);
        m_frame = frame;
    }
    // One repaint in flight is enough: it draws whatever frame is newest by then.
    if (!m_repaintQueued.exchange(true))
        QMetaObject::invokeMethod(this, &VideoView::repaintFromStream, Qt::QueuedConnection);
}

void VideoView::repaintFromStream()
{
    m_repaintQueued = false;
    update();
}

QImage VideoView::lastFrame() const
{
    QMutexLocker lock(&m_frameLock);
    return m_frame;
}

void VideoView::setKeepAspectRatio(bool keep)
{
    m_keepAspectRatio = keep;
    update();
}

void VideoView::setBackgroundColor(const QColor& colour)
{
    m_background = colour;
    update();
}

void VideoView::setRecordingStatus(std::optional<RecordingStatus> status)
{
    m_recording = status;
    update();
}

void VideoView::setSoundLevel(std::optional<double> decibels)
{
    m_soundLevel = decibels;
    update();
}

void VideoView::setSoundWarning(const QString& text)
{
    m_soundWarning = text;
    changed();
}

void VideoView::setPictureWarning(const QString& text)
{
    if (text == m_pictureWarning)
        return;
    m_pictureWarning = text;
    changed();
}

void VideoView::showError(const QString& message)
{
    qCInfo(lcView, "failure shown: %s", qUtf8Printable(message));
    m_error = message;
    changed();
}

void VideoView::clearError()
{
    m_error.clear();
    changed();
}

void VideoView::showNotice(const QString& message, std::chrono::milliseconds duration)
{
    qCInfo(lcView, "notice shown: %s", qUtf8Printable(message));
    m_notice = message;
    m_noticeTimer.start(duration);
    changed();
}

void VideoView::changed()
{
    // What the overlay says is the video area's description, so a screen reader reads it, and
    // is told when it changes (Qt does not tell of a description it is given).
    QStringList said;
    for (const QString* text : {&m_error, &m_notice, &m_pictureWarning, &m_soundWarning})
        if (!text->isEmpty())
            said << *text;
    const QString description = said.join(QLatin1Char('\n'));
    if (description != accessibleDescription()) {
        setAccessibleDescription(description);
        QAccessibleEvent event(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&event);
    }
    update();
}

QRect VideoView::pictureRect(const QSize& frameSize) const
{
    if (!m_keepAspectRatio || frameSize.isEmpty())
        return rect();
    QSize fitted = frameSize.scaled(size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
}

void VideoView::paintEvent(QPaintEvent*)
{
    const QImage frame = lastFrame();
    QPainter painter(this);
    painter.fillRect(rect(), m_background);
    if (!frame.isNull())
        painter.drawImage(pictureRect(displaySize(frame)), frame);

    // The meter sits right of the recording's plate, or where that plate would be.
    QRect topLeft(QPoint(2, 8), QSize(0, painter.fontMetrics().height() + 8));
    if (m_recording) {
        topLeft = drawPlate(painter, rect(), Qt::AlignTop | Qt::AlignLeft,
                            tr("REC %1   frames dropped: %2")
                                .arg(elapsedText(m_recording->elapsedSeconds))
                                .arg(m_recording->framesDropped),
                            QColor(255, 90, 90));
    }
    if (m_soundLevel)
        drawMeter(painter, topLeft.topRight() + QPoint(6, 0), topLeft.height(), *m_soundLevel);
    if (!m_soundWarning.isEmpty())
        topLeft = drawPlate(painter, rect().adjusted(0, topLeft.bottom() + 2, 0, 0), Qt::AlignTop | Qt::AlignLeft,
                            m_soundWarning, QColor(255, 200, 80));
    if (!m_pictureWarning.isEmpty())
        drawPlate(painter, rect().adjusted(0, topLeft.bottom() + 2, 0, 0), Qt::AlignTop | Qt::AlignLeft,
                  m_pictureWarning, QColor(255, 200, 80));
    if (!m_notice.isEmpty())
        drawPlate(painter, rect(), Qt::AlignTop | Qt::AlignHCenter, m_notice, Qt::white);
    if (!m_error.isEmpty())
        drawPlate(painter, rect(), Qt::AlignBottom | Qt::AlignHCenter, m_error, QColor(255, 200, 80));
}

}  // namespace capture
