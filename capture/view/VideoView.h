#pragma once

#include "capture/devices/FrameSink.h"

#include <QColor>
#include <QImage>
#include <QMutex>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <optional>

namespace capture {

// What the overlay shows while a recording runs.
struct RecordingStatus {
    double elapsedSeconds = 0;
    std::int64_t framesDropped = 0;
};

// The video area of the control. Frames arrive on a streaming thread and are only stored
// there; the repaint happens on the GUI thread. The last frame stays on screen after the
// stream stops. What the overlay says (failure, notice, warnings) is also the widget's
// accessible description.
class VideoView : public QWidget, public FrameSink {
    Q_OBJECT
public:
    explicit VideoView(QWidget* parent = nullptr);
    ~VideoView() override;

    // Any thread. Never blocks for longer than a pointer swap.
    void present(const QImage& frame) override;

    // The last frame handed to the view; null before the first one.
    QImage lastFrame() const;

    void setKeepAspectRatio(bool keep);
    void setBackgroundColor(const QColor& colour);
    bool keepAspectRatio() const { return m_keepAspectRatio; }
    QColor backgroundColor() const { return m_background; }

    void setRecordingStatus(std::optional<RecordingStatus> status);
    // The small level meter beside the recording overlay: the decaying peak of the loudest
    // channel in dB below full scale; nothing hides the meter.
    void setSoundLevel(std::optional<double> decibels);
    // What the overlay points out about the sound ("no sound from ..."); empty for nothing.
    void setSoundWarning(const QString& text);
    std::optional<double> soundLevel() const { return m_soundLevel; }
    QString soundWarning() const { return m_soundWarning; }
    // What the overlay points out about the pictures (none coming, broken ones skipped);
    // empty for nothing.
    void setPictureWarning(const QString& text);
    QString pictureWarning() const { return m_pictureWarning; }
    // Stays until clearError(): the user must be able to read what happened to the recording.
    void showError(const QString& message);
    void clearError();
    void showNotice(const QString& message, std::chrono::milliseconds duration);
    // What the overlay says now; empty when it says nothing.
    QString errorText() const { return m_error; }
    QString noticeText() const { return m_notice; }

    // Where a picture of this size is drawn in the widget's current rectangle; a frame's own
    // size is its displaySize (PixelShape.h), its pixels' aspect included.
    QRect pictureRect(const QSize& frameSize) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void repaintFromStream();
    // After what the overlay says has changed: the description follows, and it is drawn.
    void changed();

    mutable QMutex m_frameLock;
    QImage m_frame;  // guarded by m_frameLock
    std::atomic_bool m_repaintQueued{false};

    bool m_keepAspectRatio = true;
    QColor m_background = Qt::black;
    std::optional<RecordingStatus> m_recording;
    std::optional<double> m_soundLevel;
    QString m_soundWarning;
    QString m_pictureWarning;
    QString m_error;
    QString m_notice;
    QTimer m_noticeTimer;
};

}  // namespace capture
