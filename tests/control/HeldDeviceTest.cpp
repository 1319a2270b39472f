// A camera that another program streams from: a preview waits for it, naming the program, and
// shows the picture once it lets go; a recording fails, naming it.

#include "ControlRig.h"
#include "capture/control/OrvexCore.h"
#include "capture/view/VideoView.h"
#include "tests/engine/TestDevices.h"
#include "capture/contract/CaptureError.h"
#include "capture/devices/DeviceFailure.h"
#include "capture/v4l2/NodeHolder.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

using namespace capture;
using capture::testing::PatternCamera;

namespace {

// A pattern camera whose node is a file: while another process has it open, the camera refuses
// its format with EBUSY, as a V4L2 device that streams elsewhere does.
class HeldCamera : public PatternCamera {
public:
    explicit HeldCamera(std::string node)
        : PatternCamera({capture::testing::smallFormat()}), m_node(std::move(node))
    {
    }
    ElementPtr createSource(int input, const VideoFormat& format) override
    {
        ++tries;
        if (auto holder = findNodeHolder(m_node))
            throw DeviceError({.kind = DeviceFailure::Kind::VideoStepRefused,
                               .device = name(),
                               .value = format.name(),
                               .step = DeviceFailure::Step::TakeFormat,
                               .error = EBUSY,
                               .holder = std::move(holder)});
        return PatternCamera::createSource(input, format);
    }
    int tries = 0;

private:
    std::string m_node;
};

}  // namespace

class HeldDeviceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryFile m_node;
    QProcess m_holder;
    HeldCamera* m_camera = nullptr;
    std::unique_ptr<Orvex> m_orvex;

    void hold()
    {
        m_holder.setStandardInputFile(m_node.fileName());
        m_holder.start("sleep", {"60"});
        QVERIFY(m_holder.waitForStarted());
    }
    void letGo()
    {
        m_holder.kill();
        m_holder.waitForFinished();
    }
    QString said() const { return m_orvex->view().errorText(); }
    QString holderNamed() const { return QString("in use by sleep (process %1)").arg(m_holder.processId()); }

private slots:
    void init()
    {
        QVERIFY(m_node.open());
        auto camera = std::make_unique<HeldCamera>(m_node.fileName().toStdString());
        m_camera = camera.get();
        std::vector<std::unique_ptr<VideoDevice>> video;
        video.push_back(std::move(camera));
        m_orvex = std::make_unique<Orvex>(DeviceCatalogue(std::move(video), {}), EncoderCatalogue::fromRegistry());
        m_orvex->resize(320, 240);
        m_orvex->show();
        hold();
    }
    void cleanup()
    {
        m_orvex.reset();
        letGo();
    }

    void aPreviewWaitsForTheProgramAndShowsThePictureOnceItLetsGo()
    {
        QCOMPARE(m_orvex->call(Member::Start), Value::i16(0));
        QVERIFY2(said().contains(holderNamed()), qPrintable(said()));
        const QString onThePage = QString::fromStdString(m_orvex->core().lastFailure());
        QVERIFY2(onThePage.contains(holderNamed()), qPrintable(onThePage));
        QTRY_VERIFY_WITH_TIMEOUT(m_camera->tries >= 3, 5000);  // still waiting, about once a second
        QVERIFY(m_orvex->view().lastFrame().isNull());

        // A recording asked for meanwhile is not started by the wait.
        QTemporaryDir folder;
        const QString file = folder.filePath("later.avi");
        m_orvex->put(Member::CaptureToFile, Value::boolean(true));
        m_orvex->put(Member::CaptureFileName, Value::text(file.toStdString()));
        letGo();
        QTRY_VERIFY_WITH_TIMEOUT(!m_orvex->view().lastFrame().isNull(), 5000);
        QVERIFY2(said().isEmpty(), qPrintable(said()));
        QVERIFY(!QFileInfo::exists(file));
        const int tries = m_camera->tries;
        QTest::qWait(1500);
        QCOMPARE(m_camera->tries, tries);
        m_orvex->call(Member::Stop);
    }

    void stopEndsTheWait()
    {
        QCOMPARE(m_orvex->call(Member::Start), Value::i16(0));
        m_orvex->call(Member::Stop);
        QVERIFY(said().isEmpty());
        const int tries = m_camera->tries;
        letGo();
        QTest::qWait(1500);
        QCOMPARE(m_camera->tries, tries);
        QVERIFY(m_orvex->view().lastFrame().isNull());
    }

    void aRecordingFailsNamingTheProgram()
    {
        QTemporaryDir folder;
        m_orvex->put(Member::CaptureToFile, Value::boolean(true));
        m_orvex->put(Member::CaptureFileName, Value::text(folder.filePath("held.avi").toStdString()));
        try {
            m_orvex->call(Member::Start);
            QFAIL("a recording started on a held camera");
        } catch (const CaptureError& error) {
            QVERIFY2(QString(error.what()).contains(holderNamed()), error.what());
        }
        const int tries = m_camera->tries;
        QTest::qWait(1500);
        QCOMPARE(m_camera->tries, tries);
    }
};

QTEST_MAIN(HeldDeviceTest)
#include "HeldDeviceTest.moc"
