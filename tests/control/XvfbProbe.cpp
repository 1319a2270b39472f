// Runs ostrel's window around the real control on whatever display DISPLAY names, made as the
// program makes it (the devices and encoders looked for while Qt starts, GStreamer set up after
// the window is shown or by the first Start), clicks "Preview", and saves a screenshot of the
// whole screen once the picture is up. Prints the video area's rectangle in screen coordinates:
// "x y width height".

#include "capture/control/CatalogueSearch.h"
#include "capture/control/OrvexFactory.h"
#include "desktop/FailureReporter.h"
#include "desktop/Toolkit.h"
#include "ostrel/Form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <cstdio>

int main(int argc, char* argv[])
{
    auto search = std::make_shared<capture::CatalogueSearch>();
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <screenshot.png>\n", argv[0]);
        return 2;
    }
    desktop::QtToolkit toolkit;
    desktop::FailureReporter reporter(toolkit, QStringLiteral("ostrel"), [](int status) {
        std::fprintf(stderr, "the window reported a failure\n");
        std::exit(status);
    });

    ostrel::Form1 form(capture::orvexFactory(search), toolkit, reporter);
    form.load();
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, 10000)) {
        std::fprintf(stderr, "the window never appeared on the display\n");
        return 3;
    }
    auto* preview = form.findChild<QPushButton*>(QStringLiteral("Command1"));
    auto* video = form.findChild<QWidget*>(QStringLiteral("Orvex1"));
    if (!preview || !video) {
        std::fprintf(stderr, "the window lacks Command1 or Orvex1\n");
        return 4;
    }
    QTest::mouseClick(preview, Qt::LeftButton);

    // Let the first frames reach the screen; the checks are the test's.
    QTest::qWait(1500);
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    if (!screen.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot save the screenshot\n");
        return 5;
    }
    const QPoint origin = video->mapToGlobal(QPoint(0, 0));
    std::printf("%d %d %d %d\n", origin.x(), origin.y(), video->width(), video->height());
    return 0;
}
