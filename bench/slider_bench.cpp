// How fast mirrane's sliders reach the camera, and whether the preview keeps its frame rate
// while a slider is dragged. Runs the real window on the built-in test camera and prints:
//   - the time of one slider put (median and 99th percentile over 10,000 puts, each applied
//     to the camera before it returns);
//   - the frames shown per second with the slider at rest and while it is dragged at 100
//     notifications per second.
// Without a display it runs on Qt's offscreen platform.

#include "mirrane/Form1.h"
#include "tests/mirrane/TestPatternCamera.h"

#include "tests/support/desktop/ScriptedToolkit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using capture::Member;

namespace {

constexpr int PutCount = 10000;
constexpr int DragHz = 100;
constexpr int FpsSeconds = 5;

// Counts the repaints of the control's video area: one per frame shown.
class FrameCounter : public QObject {
public:
    explicit FrameCounter(QWidget* orvex)
    {
        for (QWidget* child : orvex->findChildren<QWidget*>())
            if (child->inherits("capture::VideoView"))
                child->installEventFilter(this);
    }
    int frames() const { return m_frames; }
    void reset() { m_frames = 0; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->inherits("capture::VideoView"))
            ++m_frames;
        return false;
    }

private:
    int m_frames = 0;
};

// A position that differs from the last one, walking from one end to the other and back.
class Sweep {
public:
    explicit Sweep(const QSlider& slider) : m_min(slider.minimum()), m_max(slider.maximum()), m_next(slider.value()) {}
    int next()
    {
        if (m_next >= m_max)
            m_step = -1;
        else if (m_next <= m_min)
            m_step = 1;
        m_next += m_step;
        return m_next;
    }

private:
    int m_min, m_max, m_next, m_step = 1;
};

void runFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(share * double(values.size() - 1) + 0.5);
    return values[index];
}

// Frames shown per second over a few seconds of the event loop; also the seconds measured.
double framesPerSecond(FrameCounter& counter, double& seconds)
{
    counter.reset();
    QElapsedTimer clock;
    clock.start();
    runFor(FpsSeconds * 1000);
    seconds = double(clock.elapsed()) / 1000.0;
    return counter.frames() / seconds;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    desktop::ScriptedToolkit toolkit;
    int endedWith = 0;
    desktop::FailureReporter reporter(toolkit, "mirrane", [&](int status) { endedWith = status; });
    auto failed = [&] {
        if (!reporter.failed())
            return false;
        std::fprintf(stderr, "bench_slider: %s\n", qPrintable(toolkit.messageTexts().join('\n')));
        return true;
    };

    auto* form = new mirrane::Form1(mirrane::testing::orvexOnTestPatternCamera, toolkit, reporter);
    auto* orvex = dynamic_cast<capture::CaptureWidget*>(form->findChild<QWidget*>("Orvex1"));
    form->load();
    form->show();
    form->findChild<QPushButton*>("Command1")->click();
    if (failed())
        return 1;
    QElapsedTimer waiting;
    waiting.start();
    while (mirrane::testing::lastFrame(*orvex).isNull() && waiting.elapsed() < 10000)
        runFor(50);
    runFor(1000);  // let the preview settle

    auto* brightness = form->findChild<QSlider*>("BrightnessSlider1");
    Sweep sweep(*brightness);

    // One put per notification: a drag step is setSliderPosition on a tracking slider.
    std::vector<double> microseconds;
    microseconds.reserve(PutCount);
    for (int i = 0; i < PutCount && !failed(); ++i) {
        const int position = sweep.next();
        const auto start = std::chrono::steady_clock::now();
        brightness->setSliderPosition(position);
        const auto end = std::chrono::steady_clock::now();
        microseconds.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        if (i % 100 == 99)
            QCoreApplication::processEvents();
    }
    if (failed())
        return 1;
    const std::int32_t applied = capture::toInt32(
        orvex->cameraProperty(Member::Brightness)->get(capture::rangeNumbering(Member::Brightness).value));
    std::printf("slider put on the test camera: median %.1f us, 99th percentile %.1f us over %d puts "
                "(camera holds %d, slider shows %d)\n",
                percentile(microseconds, 0.5), percentile(microseconds, 0.99), PutCount, applied,
                brightness->value());

    FrameCounter counter(orvex);
    double seconds = 0;
    const double atRest = framesPerSecond(counter, seconds);

    // A tick that comes late makes up for the notifications it missed, so the drag keeps its
    // rate on average.
    int notifications = 0;
    QElapsedTimer dragClock;
    QTimer drag;
    drag.setTimerType(Qt::PreciseTimer);
    QObject::connect(&drag, &QTimer::timeout, [&] {
        const auto due = dragClock.elapsed() * DragHz / 1000;
        while (notifications < due && !reporter.failed()) {
            brightness->setSliderPosition(sweep.next());
            ++notifications;
        }
    });
    brightness->setSliderDown(true);
    dragClock.start();
    drag.start(1000 / DragHz);
    const double dragging = framesPerSecond(counter, seconds);
    drag.stop();
    brightness->setSliderDown(false);
    if (failed())
        return 1;

    std::printf("frames shown per second: %.1f at rest, %.1f while dragging at %.1f notifications per second\n",
                atRest, dragging, notifications / seconds);
    delete form;
    return endedWith;
}
