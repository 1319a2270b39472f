#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// ostrel in a real X server: an Xvfb of the test's own, the window on the xcb platform, and a
// screenshot taken by the server after "Preview".
class XvfbScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void previewShowsTheBarsInTheVideoArea();

private:
    QProcess m_server;
    QString m_display;
};

void XvfbScreenshotTest::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed");
    // -displayfd picks a free display and writes its number once the server takes connections.
    m_server.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                            QStringLiteral("-screen"), QStringLiteral("0"),
                                            QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                                            QStringLiteral("tcp")});
    QVERIFY(m_server.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(m_server.canReadLine() || m_server.state() != QProcess::Running, 20000);
    m_display = QStringLiteral(":") + QString::fromLatin1(m_server.readLine()).trimmed();
    QVERIFY2(m_display.size() > 1, "Xvfb did not say which display it took");
}

void XvfbScreenshotTest::cleanupTestCase()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.terminate();
    if (!m_server.waitForFinished(10000))
        m_server.kill();
}

void XvfbScreenshotTest::previewShowsTheBarsInTheVideoArea()
{
    QTemporaryDir folder;
    const QString screenshot = folder.filePath(QStringLiteral("screen.png"));

    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("ORVEX_TRACE"));
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(XVFB_PROBE), {screenshot});
    QVERIFY(probe.waitForFinished(60000));
    const QString errors = QString::fromLocal8Bit(probe.readAllStandardError());
    QVERIFY2(probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0, qPrintable(errors));

    const QStringList numbers = QString::fromLatin1(probe.readAllStandardOutput()).split(QLatin1Char(' '));
    QCOMPARE(numbers.size(), 4);
    const QRect area(numbers[0].toInt(), numbers[1].toInt(), numbers[2].toInt(), numbers[3].toInt());
    QImage screen(screenshot);
    QVERIFY(!screen.isNull());
    QVERIFY(screen.rect().contains(area));

    // The camera's 4:3 picture, letterboxed in the video area; the bars fill its upper part.
    const QSize picture = QSize(640, 480).scaled(area.size(), Qt::KeepAspectRatio);
    const QRect shown(area.x() + (area.width() - picture.width()) / 2,
                      area.y() + (area.height() - picture.height()) / 2, picture.width(), picture.height());
    const QColor bars[] = {Qt::white, Qt::yellow, Qt::cyan, Qt::green, Qt::magenta, Qt::red, Qt::blue, Qt::black};
    const int y = shown.y() + shown.height() / 4;
    for (int bar = 0; bar < 8; ++bar) {
        const int x = shown.x() + shown.width() * (2 * bar + 1) / 16;
        const QColor seen = screen.pixelColor(x, y);
        QVERIFY2(std::abs(seen.red() - bars[bar].red()) <= 8 && std::abs(seen.green() - bars[bar].green()) <= 8
                     && std::abs(seen.blue() - bars[bar].blue()) <= 8,
                 qPrintable(QStringLiteral("bar %1 at (%2, %3) is %4").arg(bar).arg(x).arg(y).arg(seen.name())));
    }
}

QTEST_GUILESS_MAIN(XvfbScreenshotTest)
#include "XvfbScreenshotTest.moc"
