// Runs one of the three windows around the real control on the platform Qt was started with:
// starts the picture on the built-in test device ("Preview", or "Start" and a channel on the
// test tuner in tulvik), saves a grab of the window and of its video area once the picture is
// up, then opens and closes the desktop layer's message box, save dialog and colour dialog over
// the window. Prints one line per step; a step that fails ends the probe with status 1 and a
// message on stderr.
//
// usage: window_probe ostrel|mirrane|tulvik <folder>

#include "capture/control/OrvexFactory.h"
#include "desktop/Toolkit.h"
#include "tests/support/desktop/ScriptedToolkit.h"
#include "mirrane/Form1.h"
#include "ostrel/Form1.h"
#include "tulvik/Form1.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

[[noreturn]] void fail(const QString& message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    std::fflush(stdout);
    std::_Exit(1);
}

void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

template <typename Widget>
Widget* child(QWidget* window, const char* name)
{
    auto* widget = window->findChild<Widget*>(QLatin1String(name));
    if (!widget)
        fail(QStringLiteral("the window has no %1").arg(QLatin1String(name)));
    return widget;
}

// The real control, switched to a built-in test device so the run does not depend on the
// machine's own cameras.
capture::CaptureWidgetFactory onTestDevice(const std::string& device)
{
    return [device](QWidget* parent) {
        capture::CaptureWidget* orvex = capture::createOrvex(parent);
        const std::int16_t index = capture::toInt16(
            orvex->collection(capture::Member::VideoDevices)->indexOf(capture::Value::text(device)));
        if (index < 0)
            fail(QStringLiteral("%1 is not listed").arg(QString::fromStdString(device)));
        orvex->put(capture::Member::VideoDevice, capture::Value::i16(index));
        return orvex;
    };
}

void pick(QComboBox* list, const QString& entry)
{
    const int position = list->findText(entry);
    if (position < 0)
        fail(QStringLiteral("the device list lacks %1").arg(entry));
    list->setCurrentIndex(position);
}

bool uniform(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != image.pixel(0, 0))
                return false;
    return true;
}

// The grab of the video area a second after it first shows more than one colour: by then the
// tuner has left the channel it started on for the one chosen.
QImage waitForPicture(QWidget* video)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000) {
        if (!uniform(video->grab().toImage())) {
            QTest::qWait(1000);
            return video->grab().toImage();
        }
        QTest::qWait(100);
    }
    fail(QStringLiteral("no picture reached the video area within 20 s"));
}

// Answers the dialog that `show` opens once it is on the display, then lets `show` return.
template <typename Dialog>
void answerWhenShown(const QString& what, const std::function<void()>& show,
                     const std::function<void(Dialog*)>& answer)
{
    QTimer poll;
    QElapsedTimer waited;
    waited.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog && dialog->windowHandle() && dialog->windowHandle()->isExposed()) {
            poll.stop();
            say(what + QStringLiteral(" shown"));
            answer(dialog);
        } else if (waited.elapsed() > 20000) {
            fail(what + QStringLiteral(" never showed"));
        }
    });
    poll.start(50);
    show();
    if (poll.isActive())
        fail(what + QStringLiteral(" returned before it showed"));
    say(what + QStringLiteral(" closed"));
}

void openAndCloseDialogs(QWidget* window, desktop::Toolkit& toolkit, const QString& folder)
{
    const auto box = toolkit.messageBox(window, QStringLiteral("probe"));
    answerWhenShown<QMessageBox>(QStringLiteral("message box"), [&] { box->show(QStringLiteral("A message")); },
                                 [](QMessageBox* shown) { shown->button(QMessageBox::Ok)->click(); });

    const auto dialog = toolkit.commonDialog(window);
    dialog->setFilter(QStringLiteral("Avi File (*.avi)|*.avi"));
    const QString file = QDir(folder).filePath(QStringLiteral("recording.avi"));
    answerWhenShown<QFileDialog>(QStringLiteral("save dialog"), [&] { dialog->showSave(); },
                                 [&](QFileDialog* shown) {
                                     // As a user saves: the name typed into the name field, then Enter.
                                     auto* name = shown->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                                     if (!name)
                                         fail(QStringLiteral("the save dialog has no name field"));
                                     name->setText(file);
                                     QTest::keyClick(name, Qt::Key_Return);
                                 });
    if (dialog->cancelled() || dialog->fileName() != file)
        fail(QStringLiteral("the save dialog did not hand back %1").arg(file));

    answerWhenShown<QColorDialog>(QStringLiteral("colour dialog"), [&] { dialog->showColor(); },
                                  [](QColorDialog* shown) {
                                      shown->setCurrentColor(Qt::red);
                                      shown->accept();
                                  });
    if (dialog->cancelled() || dialog->color() != 0x0000ff)
        fail(QStringLiteral("the colour dialog did not hand back red"));
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 3)
        fail(QStringLiteral("usage: window_probe ostrel|mirrane|tulvik <folder>"));
    const QString program = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    say(QStringLiteral("platform ") + QGuiApplication::platformName());
    // A step that hangs (a dialog that never closes) ends the probe rather than the test's wait.
    QTimer::singleShot(60000, [] { fail(QStringLiteral("the probe did not finish within 60 s")); });

    desktop::QtToolkit toolkit;
    // A failure the window reports is printed, not shown: nobody would close its message box.
    desktop::ScriptedToolkit silent;
    desktop::FailureReporter reporter(silent, program, [&silent](int) {
        fail(QStringLiteral("the window reported a failure: ")
             + (silent.messages().empty() ? QString() : silent.messages().back().text));
    });

    std::unique_ptr<QWidget> window;
    std::function<void()> startPicture;
    if (program == QLatin1String("ostrel")) {
        auto* form = new ostrel::Form1(onTestDevice("Test Pattern Camera"), toolkit, reporter);
        window.reset(form);
        form->load();
        startPicture = [form] {
            pick(child<QComboBox>(form, "cboDevice"), QStringLiteral("Test Pattern Camera"));
            child<QPushButton>(form, "Command1")->click();
        };
    } else if (program == QLatin1String("mirrane")) {
        auto* form = new mirrane::Form1(onTestDevice("Test Pattern Camera"), toolkit, reporter);
        window.reset(form);
        form->load();
        startPicture = [form] { child<QPushButton>(form, "Command1")->click(); };
    } else if (program == QLatin1String("tulvik")) {
        auto* form = new tulvik::Form1(onTestDevice("Test Pattern TV Tuner"), toolkit, reporter);
        window.reset(form);
        form->load();
        startPicture = [form] {
            pick(child<QComboBox>(form, "cboDevice"), QStringLiteral("Test Pattern TV Tuner"));
            child<QLineEdit>(form, "Text1")->setText(QStringLiteral("49"));
            child<QPushButton>(form, "Command1")->click();
            // The list holds the channels that carry a station; the first one shows its bars.
            auto* channels = child<QListWidget>(form, "List1");
            if (channels->count() == 0)
                fail(QStringLiteral("Start listed no channel"));
            channels->setCurrentRow(0);
            say(QStringLiteral("channel ") + channels->item(0)->text());
        };
    } else {
        fail(QStringLiteral("unknown window ") + program);
    }

    window->show();
    if (!QTest::qWaitForWindowExposed(window.get(), 20000))
        fail(QStringLiteral("the window was never shown on the display"));
    say(QStringLiteral("window shown"));

    startPicture();
    QWidget* video = child<QWidget>(window.get(), "Orvex1");
    const QImage picture = waitForPicture(video);
    // The display server's own pixels where the platform hands them out (X11); a Wayland client
    // cannot read the screen, so there the window draws itself.
    QPixmap shot = window->screen()->grabWindow(window->winId());
    if (shot.isNull())
        shot = window->grab();
    if (!picture.save(QDir(folder).filePath(program + QStringLiteral("-video.png")))
        || !shot.save(QDir(folder).filePath(program + QStringLiteral(".png"))))
        fail(QStringLiteral("cannot save the grabs in ") + folder);
    say(QStringLiteral("picture %1x%2").arg(picture.width()).arg(picture.height()));

    openAndCloseDialogs(window.get(), toolkit, folder);
    window.reset();
    return 0;
}
