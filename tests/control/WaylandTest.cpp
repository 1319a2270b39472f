#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// The three windows on Wayland: a headless Weston of the test's own, each window on Qt's wayland
// platform with no X server in reach, the picture started, and the desktop layer's dialogs
// opened and closed over it.
class WaylandTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void windowShowsPicturesAndDialogs_data();
    void windowShowsPicturesAndDialogs();

private:
    QTemporaryDir m_runtime;  // the compositor's XDG_RUNTIME_DIR
    QString m_socket;
    QProcess m_compositor;
};

void WaylandTest::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty())
        QSKIP("weston is not installed (scripts/install-deps.sh installs it)");
    QVERIFY(m_runtime.isValid());
    // Wayland requires the runtime folder to be private to its user.
    QVERIFY(QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    m_socket = QStringLiteral("orvex-test-%1").arg(::getpid());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_compositor.setProcessEnvironment(environment);
    m_compositor.setProcessChannelMode(QProcess::MergedChannels);
    // Pixman draws what the clients show, as a compositor on a real screen would.
    m_compositor.start(QStringLiteral("weston"),
                       {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=") + m_socket,
                        QStringLiteral("--use-pixman"), QStringLiteral("--idle-time=0"),
                        QStringLiteral("--no-config")});
    QVERIFY2(m_compositor.waitForStarted(10000), "weston did not start");
    const QString socket = QDir(m_runtime.path()).filePath(m_socket);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket) || m_compositor.state() != QProcess::Running, 20000);
    QVERIFY2(m_compositor.state() == QProcess::Running,
             qPrintable(QStringLiteral("weston ended at start:\n") + QString::fromLocal8Bit(m_compositor.readAll())));
    QVERIFY2(QFile::exists(socket), "weston never opened its socket");
}

// Also after a failed test: QTest runs this whatever happened before.
void WaylandTest::cleanupTestCase()
{
    if (m_compositor.state() == QProcess::NotRunning)
        return;
    m_compositor.terminate();
    if (!m_compositor.waitForFinished(10000))
        m_compositor.kill();
    m_compositor.waitForFinished(5000);
}

void WaylandTest::windowShowsPicturesAndDialogs_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("ostrel") << QStringLiteral("ostrel");
    QTest::newRow("mirrane") << QStringLiteral("mirrane");
    QTest::newRow("tulvik") << QStringLiteral("tulvik");
}

void WaylandTest::windowShowsPicturesAndDialogs()
{
    QFETCH(QString, program);
    QTemporaryDir folder;
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), m_socket);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    environment.remove(QStringLiteral("DISPLAY"));  // no way back to X11
    environment.remove(QStringLiteral("ORVEX_TRACE"));
    // The headless compositor has no seat, and Qt 6.4's Wayland text input dereferences the
    // missing seat when a text field paints its cursor; a desktop session always has one.
    environment.insert(QStringLiteral("QT_IM_MODULE"), QStringLiteral("none"));
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(WINDOW_PROBE), {program, folder.path()});
    QVERIFY(probe.waitForFinished(90000));
    const QString output = QString::fromLocal8Bit(probe.readAllStandardOutput());
    QVERIFY2(probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0,
             qPrintable(output + QString::fromLocal8Bit(probe.readAllStandardError())));

    const QStringList steps = output.split(QLatin1Char('\n'));
    for (const char* step : {"platform wayland", "window shown", "message box shown", "message box closed",
                             "save dialog shown", "save dialog closed", "colour dialog shown", "colour dialog closed"})
        QVERIFY2(steps.contains(QLatin1String(step)), step);

    // The test devices' eight colour bars, each covering a good part of the video area.
    const QImage video(QDir(folder.path()).filePath(program + QStringLiteral("-video.png")));
    QVERIFY(!video.isNull());
    const QColor bars[] = {Qt::white, Qt::yellow, Qt::cyan, Qt::green, Qt::magenta, Qt::red, Qt::blue, Qt::black};
    for (const QColor& bar : bars) {
        int near = 0;
        for (int y = 0; y < video.height(); ++y)
            for (int x = 0; x < video.width(); ++x) {
                const QColor seen = video.pixelColor(x, y);
                near += std::abs(seen.red() - bar.red()) <= 24 && std::abs(seen.green() - bar.green()) <= 24
                        && std::abs(seen.blue() - bar.blue()) <= 24;
            }
        QVERIFY2(near * 40 >= video.width() * video.height(),
                 qPrintable(QStringLiteral("%1 covers %2 of %3x%4 pixels")
                                .arg(bar.name()).arg(near).arg(video.width()).arg(video.height())));
    }
}

QTEST_GUILESS_MAIN(WaylandTest)
#include "WaylandTest.moc"
