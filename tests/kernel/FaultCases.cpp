// The driver's faults and a camera held by another program.

#include "KernelDevicesTest.h"

void KernelDevicesTest::aRefusedStreamOnNamesTheVideoSourceAndTheControlGoesOn()
{
    Rig rig("Webcam 0");
    setVividControl("inject_vidioc_streamon_error", 1);
    try {
        rig.orvex->call(Member::Start);
        QFAIL("Start succeeded although the driver refused to stream");
    } catch (const CaptureError& error) {
        const QString message = QString::fromUtf8(error.what());
        QVERIFY2(message.contains("video source") && message.contains("vivid"), error.what());
    }
    rig.goesOn();
}

void KernelDevicesTest::aFatalStreamingErrorFinalizesTheRecording()
{
    Rig rig("Webcam 0");
    rig.faultWhileRecording("inject_fatal_streaming_error");
    if (!QTest::currentTestFailed())
        rig.goesOn();
}

// The driver drops a quarter of its frames: the page counts them, and 10 s in the file
// hold as much picture as sound (an AVI keeps no timestamps, so a gap not filled, in the
// picture or in the sound, would shorten that stream).
void KernelDevicesTest::droppedBuffersAreCountedAndPictureKeepsUpWithSound()
{
    Rig rig("Webcam 0", true);
    rig.put(Member::AudioDevice, Member::AudioDevices, LoopbackHearingDevice0);
    rig.put(Member::VideoFormat, Member::VideoFormats, "YUY2 640x360 30 fps");
    setVividControl("percentage_of_dropped_buffers", 25);
    LoopbackTone tone;
    const std::string file = rig.startRecording();
    if (QTest::currentTestFailed())
        return;
    QElapsedTimer recording;
    recording.start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->core().statistics().fileBytes > 0, 10000);
    const qint64 muxing = recording.elapsed();
    QTest::qWait(10000 - int(muxing));
    const LiveStatistics seen = rig.orvex->core().statistics();
    rig.orvex->call(Member::Stop);
    setVividControl("percentage_of_dropped_buffers", 0);
    const auto written = testing::readBack(file);
    qInfo("picture %.3f s, sound %.3f s; %lld dropped, %lld captured; file written from %lld ms", written.videoEnd,
          written.audioEnd, qlonglong(seen.framesDropped), qlonglong(seen.framesCaptured), muxing);
    constexpr double frame = 1.0 / 30;
    // The start and the end may each lose a few hundred ms on a busy machine (emulated CPU).
    QVERIFY2(written.readable && written.audioEnd > 9.0
                 && std::abs(written.videoEnd - written.audioEnd) <= frame,
             qPrintable(QStringLiteral("picture %1 s, sound %2 s").arg(written.videoEnd).arg(written.audioEnd)));
    const double share = double(seen.framesDropped) / double(seen.framesDropped + seen.framesCaptured);
    // A busy machine's own drops (the record queue's, vivid falling behind) add to the driver's.
    QVERIFY2(share > 0.15 && share < 0.6, qPrintable(QStringLiteral("%1 dropped, %2 captured")
                                                        .arg(seen.framesDropped).arg(seen.framesCaptured)));
}

// Five seconds in which the driver drops every buffer, in the middle of a recording: the
// view names the camera while it lasts, the file holds the last picture meanwhile and keeps
// the sound, and picture and sound end together. A small picture: on a loaded host the VM's
// disk falls behind a larger one, and the sound it then drops is no stall's.
void KernelDevicesTest::aStalledCameraIsNamedAndTheRecordingHoldsItsPicture()
{
    Rig rig("Webcam 0", true);
    rig.put(Member::AudioDevice, Member::AudioDevices, LoopbackHearingDevice0);
    rig.put(Member::VideoFormat, Member::VideoFormats, "YUY2 320x180 30 fps");
    LoopbackTone tone;
    const std::string file = rig.startRecording();
    if (QTest::currentTestFailed())
        return;
    QElapsedTimer recording;
    recording.start();
    QTest::qWait(2000);
    setVividControl("percentage_of_dropped_buffers", 100);
    const QString said = QString::fromStdString("no picture from " + camera().card + " since ");
    QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->view().pictureWarning().startsWith(said), 5000);
    qInfo("the view said: %s", qPrintable(rig.orvex->view().pictureWarning()));
    QTest::qWait(2500);
    setVividControl("percentage_of_dropped_buffers", 0);
    QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->view().pictureWarning().isEmpty(), 5000);
    QTest::qWait(2000);
    rig.orvex->call(Member::Stop);
    const double recorded = double(recording.elapsed()) / 1000;
    QVERIFY2(rig.orvex->view().errorText().isEmpty(), qPrintable(rig.orvex->view().errorText()));
    const auto written = testing::readBack(file);
    qInfo("picture %.3f s, sound %.3f s, recorded for %.3f s", written.videoEnd, written.audioEnd, recorded);
    constexpr double frame = 1.0 / 30;
    // How long the stall is seen to last follows the monitor's beat, so the recording's length
    // is measured, not assumed; the start and the end may each lose a few hundred ms, as above.
    QVERIFY2(written.readable && written.audioEnd > recorded - 1.0
                 && std::abs(written.videoEnd - written.audioEnd) <= frame,
             qPrintable(QStringLiteral("picture %1 s, sound %2 s, recorded for %3 s")
                            .arg(written.videoEnd).arg(written.audioEnd).arg(recorded)));
    // The tone of the stall's middle is in the file, not silence in its place.
    const auto rate = std::size_t(written.soundRate);
    QVERIFY(rate > 0 && written.sound.size() > 5 * rate);
    QVERIFY2(soundPeak({written.sound.begin() + std::ptrdiff_t(4 * rate), written.sound.begin() + std::ptrdiff_t(5 * rate)}) > 3000,
             "silence where the stall was");
}

// Buffers the driver flags as erroneous are skipped and counted; the picture goes on.
void KernelDevicesTest::flaggedBuffersAreSkippedAndCounted()
{
    Rig rig("Webcam 0");
    rig.startPreview();
    if (QTest::currentTestFailed())
        return;
    for (int press = 0; press < 3; ++press) {
        setVividControl("inject_v4l2_buf_flag_error", 1);
        QTest::qWait(300);
    }
    QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->core().statistics().framesBroken >= 1, 5000);
    const qint64 shown = rig.orvex->view().lastFrame().cacheKey();
    QTRY_VERIFY_WITH_TIMEOUT(rig.orvex->view().lastFrame().cacheKey() != shown, 5000);
    QVERIFY2(rig.orvex->view().pictureWarning().startsWith("broken frames skipped: "),
             qPrintable(rig.orvex->view().pictureWarning()));
    QVERIFY2(rig.orvex->view().errorText().isEmpty(), qPrintable(rig.orvex->view().errorText()));
    rig.orvex->call(Member::Stop);
}

// The USB webcam sending one Motion JPEG frame in ORVEX_USB_WEBCAM_BROKEN_EVERY cut short or
// as garbage, through uvcvideo: the picture goes on, the overlay counts the skipped frames,
// and a recording stored as the camera sends it holds only pictures FFmpeg decodes whole.
void KernelDevicesTest::brokenMotionJpegFramesAreSkippedAndNotRecorded()
{
    const int brokenEvery = qEnvironmentVariableIntValue("ORVEX_USB_WEBCAM_BROKEN_EVERY");
    if (camera().motionJpeg.empty() || brokenEvery <= 0)
        QSKIP("needs the USB webcam told to break its Motion JPEG frames (ORVEX_USB_WEBCAM_BROKEN_EVERY)");
    Rig rig("");
    rig.put(Member::VideoFormat, Member::VideoFormats, camera().motionJpeg);
    const std::string file = rig.startRecording();
    if (QTest::currentTestFailed())
        return;
    // A new picture in the view every second.
    QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->view().lastFrame().isNull(), 10000);
    for (int second = 0; second < 10; ++second) {
        const qint64 shown = rig.orvex->view().lastFrame().cacheKey();
        QTest::qWait(1000);
        QVERIFY2(rig.orvex->view().lastFrame().cacheKey() != shown, qPrintable(QStringLiteral("no new picture in second %1").arg(second + 1)));
    }
    const LiveStatistics seen = rig.orvex->core().statistics();
    const QString warning = rig.orvex->view().pictureWarning();
    rig.orvex->call(Member::Stop);
    QVERIFY2(rig.orvex->view().errorText().isEmpty(), qPrintable(rig.orvex->view().errorText()));
    const auto written = testing::readBack(file);
    qInfo("%lld broken of %lld captured; the overlay said \"%s\"; %d frames, %.3f s in the file", qlonglong(seen.framesBroken),
          qlonglong(seen.framesCaptured), qPrintable(warning), written.videoFrames, written.videoEnd);
    // One frame in N, less the few with the sync mark, which stay whole.
    const double share = double(seen.framesBroken) / double(seen.framesCaptured);
    QVERIFY2(share > 0.6 / brokenEvery && share < 1.4 / brokenEvery,
             qPrintable(QStringLiteral("%1 broken of %2").arg(seen.framesBroken).arg(seen.framesCaptured)));
    QVERIFY2(warning.startsWith("broken frames skipped: "), qPrintable(warning));
    QVERIFY(written.readable && written.hasIndex);
    QCOMPARE(written.codecs.front(), std::string("image/jpeg"));
    // The broken frames' places hold the picture before them.
    const double rate = written.videoFrames / written.videoEnd;
    QVERIFY2(written.videoEnd > 8.0 && std::abs(rate - 30.0) < 0.5,
             qPrintable(QStringLiteral("%1 frames, %2 s").arg(written.videoFrames).arg(written.videoEnd)));

    const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (ffmpeg.isEmpty())
        QSKIP("ffmpeg is not installed (scripts/install-deps.sh installs it): the recording was not decoded by it");
    QProcess decode;
    decode.start(ffmpeg, {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                          QString::fromStdString(file), QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    QVERIFY2(decode.waitForFinished(120000), "ffmpeg did not end within 2 minutes");
    const QByteArray said = decode.readAllStandardError();
    QVERIFY2(decode.exitStatus() == QProcess::NormalExit && decode.exitCode() == 0 && said.isEmpty(),
             qPrintable(QStringLiteral("ffmpeg ended with %1 and said: %2").arg(decode.exitCode()).arg(QString::fromLocal8Bit(said))));
}

// A window's "Preview" on a camera another program streams: no window closes, the picture
// area names the program, mirrane's Brightness slider reaches the driver, and the picture
// comes once the program ends.
void KernelDevicesTest::previewWaitsForAProgramThatStreams_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("mirrane") << QStringLiteral("mirrane");
    QTest::newRow("ostrel") << QStringLiteral("ostrel");
}

void KernelDevicesTest::previewWaitsForAProgramThatStreams()
{
    QFETCH(QString, program);
    if (program == QLatin1String("mirrane"))
        previewWaitsFor<mirrane::Form1>("mirrane");
    else
        previewWaitsFor<ostrel::Form1>("ostrel");
}

// Last: a disconnected vivid stays gone until its module is loaded again.
void KernelDevicesTest::aDisconnectFinalizesTheRecordingAndSaysTheDeviceIsGone()
{
    // The tuner cases leave vivid on its TV input; put it back as another program would.
    int webcam = 0;
    QVERIFY(askDriver(VIDIOC_S_INPUT, webcam));
    Rig rig("Webcam 0");
    rig.faultWhileRecording("disconnect");
    if (QTest::currentTestFailed())
        return;
    const QString said = rig.orvex->view().errorText();
    QVERIFY2(said.contains("vivid") && said.contains("no longer connected"), qPrintable(said));
    QVERIFY(rig.window.isVisible());
}
