// The TV inputs: standards, the tuner, snapshots and interlaced pictures.

#include "KernelDevicesTest.h"

void KernelDevicesTest::countryCodeSetsTheStandard_data()
{
    QTest::addColumn<double>("countryCode");
    QTest::addColumn<quint64>("family");
    QTest::newRow("1 United States") << 1.0 << quint64(V4L2_STD_NTSC);
    QTest::newRow("44 United Kingdom") << 44.0 << quint64(V4L2_STD_PAL);
    QTest::newRow("49 Germany") << 49.0 << quint64(V4L2_STD_PAL);
    QTest::newRow("33 France") << 33.0 << quint64(V4L2_STD_SECAM);
    QTest::newRow("81 Japan") << 81.0 << quint64(V4L2_STD_NTSC);
}

// tulvik's own Start on vivid, the first device it lists: the typed code sets the standard
// and the window lists the table's channels that the control offers.
void KernelDevicesTest::countryCodeSetsTheStandard()
{
    QFETCH(double, countryCode);
    QFETCH(quint64, family);
    WindowRig rig(capture::createOrvex);
    rig.form->show();
    rig.form->load();
    QCOMPARE(rig.devices()->currentText(), QString::fromStdString(camera().card));
    rig.start(QString::number(countryCode));
    QVERIFY2(rig.toolkit.messages().empty(), qPrintable(rig.toolkit.messageTexts().join('\n')));
    QCOMPARE(rig.switches(), Running);
    v4l2_std_id standard = 0;
    QVERIFY(askDriver(VIDIOC_G_STD, standard));
    QVERIFY2((standard & family) != 0 && (standard & ~family) == 0, qPrintable(QString::number(standard, 16)));
    auto* orvex = dynamic_cast<CaptureWidget*>(rig.child<QWidget>("Orvex1"));
    int offered = 0;
    forEachItem(*orvex->collection(Member::TVChannels),
                [&offered](CaptureItem& channel) { offered += toInt32(channel.available()) != 0; });
    QVERIFY(offered > 0);
    QCOMPARE(rig.channels()->count(), offered);
}

// vivid has a station every 6 MHz from 49.25 MHz: American channel 7 (175.25 MHz) is on
// one, channel 5 (77.25 MHz) between two.
void KernelDevicesTest::theTunedChannelIsAvailableExactlyWithASignal_data()
{
    QTest::addColumn<double>("channel");
    QTest::addColumn<bool>("station");
    QTest::newRow("7") << 7.0 << true;
    QTest::newRow("5") << 5.0 << false;
}

void KernelDevicesTest::theTunedChannelIsAvailableExactlyWithASignal()
{
    QFETCH(double, channel);
    QFETCH(bool, station);
    Rig rig("TV 0");
    tuneTv(rig, 1);
    if (QTest::currentTestFailed())
        return;
    rig.orvex->put(Member::TVChannel, Value::f64(channel));
    v4l2_tuner tuner{};
    QVERIFY(askDriver(VIDIOC_G_TUNER, tuner));
    QCOMPARE(tuner.signal != 0, station);
    const std::string prefix = QString::number(channel).toStdString() + " ";
    auto channels = rig.orvex->collection(Member::TVChannels);
    int seen = 0;
    for (int position = 0; position < channels->count(); ++position) {
        auto item = channels->item(position);
        const bool tuned = toText(item->name()).rfind(prefix, 0) == 0;
        seen += tuned;
        // The others are offered until a station scan: only the tuned one is measured.
        QCOMPARE(toInt32(item->available()) != 0, tuned ? station : true);
    }
    QCOMPARE(seen, 1);
    rig.orvex->call(Member::Stop);
}

// In tulvik, a click on channel 7 of the American table leaves vivid at 175.25 MHz, and
// "Mute" is the driver's audio mute.
void KernelDevicesTest::tunerPutsReachTheDriver()
{
    WindowRig rig(capture::createOrvex);
    rig.form->show();
    rig.form->load();
    rig.start(QStringLiteral("1"));
    QListWidget* list = rig.channels();
    QListWidgetItem* seven = nullptr;
    for (int row = 0; row < list->count() && !seven; ++row)
        if (list->item(row)->text().startsWith(QLatin1String("7 ")))
            seven = list->item(row);
    QVERIFY(seven);
    list->scrollToItem(seven);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(seven).center());
    v4l2_frequency frequency{};
    QVERIFY(askDriver(VIDIOC_G_FREQUENCY, frequency));
    QCOMPARE(frequency.frequency * 62.5 / 1000.0, 175.25);  // in units of 62.5 kHz
    auto* mute = rig.child<QCheckBox>("Check1");
    mute->click();
    QCOMPARE(driverControl(V4L2_CID_AUDIO_MUTE), 1);
    mute->click();
    QCOMPARE(driverControl(V4L2_CID_AUDIO_MUTE), 0);
    QVERIFY2(rig.toolkit.messages().empty(), qPrintable(rig.toolkit.messageTexts().join('\n')));
}

void KernelDevicesTest::tvSnapshotAndRecording()
{
    Rig rig("TV 0");
    rig.orvex->put(Member::TVCountryCode, Value::f64(1));
    rig.orvex->put(Member::TVChannel, Value::f64(7));
    const std::string file = rig.startRecording();
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->view().lastFrame().isNull(), 10000);
    const QString picture = rig.folder.filePath("tv.bmp");
    QCOMPARE(rig.orvex->call(Member::SnapShot, Value::text(picture.toStdString())), Value::boolean(true));
    QVERIFY(!QImage(picture).isNull());
    QTest::qWait(2000);
    rig.orvex->call(Member::Stop);
    const auto written = testing::readBack(file);
    QVERIFY(written.readable && written.hasIndex && written.videoFrames > 0);
    QCOMPARE(written.height, 480);  // NTSC
}

// vivid's analog inputs send two fields a frame (PAL: the top one first, pixels 59:54; NTSC:
// the bottom one first, pixels 10:11), and its pattern moving right fast combs every frame.
// The driver is asked for its interlaced layout; the view shows whole pictures at about 4:3
// and the recording keeps the combed frames as they came. Its HDMI input with interlaced
// timings (1080i, square pixels) sends each field in a buffer of its own whatever is asked:
// they are woven into whole frames. Each input starts on PAL; a country code has the
// control put its standard on the tuner.
void KernelDevicesTest::analogInputsShowWholeShapedPicturesAndRecordTheirFields_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<double>("countryCode");  // 0: none
    QTest::addColumn<QString>("format");
    QTest::addColumn<QSize>("size");
    // The driver's field; INTERLACED stands for its variant in the row's order too.
    QTest::addColumn<std::uint32_t>("sent");
    QTest::addColumn<int>("firstLine");  // the frame line the field taken first starts on
    QTest::addColumn<double>("displayAspect");
    QTest::newRow("TV 0") << "TV 0" << 0.0 << "YUY2 720x576 25 fps" << QSize(720, 576)
                          << std::uint32_t(V4L2_FIELD_INTERLACED) << 0 << 720.0 * 59 / 54 / 576;
    QTest::newRow("TV 0, 525 lines") << "TV 0" << 1.0 << "YUY2 720x480 29.97 fps" << QSize(720, 480)
                                     << std::uint32_t(V4L2_FIELD_INTERLACED) << 1 << 720.0 * 10 / 11 / 480;
    // UYVY: the layout whose last line the deinterlacer reads past.
    QTest::newRow("S-Video 0") << "S-Video 0" << 0.0 << "UYVY 768x576 25 fps" << QSize(768, 576)
                               << std::uint32_t(V4L2_FIELD_INTERLACED) << 0 << 720.0 * 59 / 54 / 576;
    QTest::newRow("HDMI 0, fields apart") << "HDMI 0" << 0.0 << "YUY2 1280x720 25 fps" << QSize(1280, 720)
                                          << std::uint32_t(V4L2_FIELD_ALTERNATE) << 0 << 1280.0 / 720;
}

void KernelDevicesTest::analogInputsShowWholeShapedPicturesAndRecordTheirFields()
{
    QFETCH(QString, input);
    QFETCH(double, countryCode);
    QFETCH(QString, format);
    QFETCH(QSize, size);
    QFETCH(std::uint32_t, sent);
    QFETCH(int, firstLine);
    QFETCH(double, displayAspect);
    const int index = int(std::find(camera().inputs.begin(), camera().inputs.end(), input) - camera().inputs.begin());
    v4l2_dv_timings progressive{};
    if (sent == V4L2_FIELD_ALTERNATE) {
        v4l2Ctl({QStringLiteral("-i"), QString::number(index)});
        QVERIFY(askDriver(VIDIOC_G_DV_TIMINGS, progressive));
        QVERIFY(setInterlacedDvTimings());
    } else {
        palWithDefaultPicture(index);
    }
    const auto restore = qScopeGuard([&] {
        if (sent == V4L2_FIELD_ALTERNATE)
            askDriver(VIDIOC_S_DV_TIMINGS, progressive);
    });
    setVividControl(QStringLiteral("horizontal_movement"), 6);  // "Move Right Fast"
    const auto still = qScopeGuard([] { setVividControl(QStringLiteral("horizontal_movement"), 3); });
    Rig rig(input.toStdString());
    if (countryCode != 0)
        rig.orvex->put(Member::TVCountryCode, Value::f64(countryCode));
    rig.put(Member::VideoFormat, Member::VideoFormats, format.toStdString());
    const std::string file = rig.startRecording();
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(!rig.orvex->view().lastFrame().isNull(), 10000);
    const std::uint32_t field = driverField();
    const std::uint32_t ordered = firstLine == 0 ? V4L2_FIELD_INTERLACED_TB : V4L2_FIELD_INTERLACED_BT;
    QVERIFY2(field == sent || (sent == V4L2_FIELD_INTERLACED && field == ordered), qPrintable(QString::number(field)));
    QTest::qWait(2000);
    const QImage shown = rig.orvex->view().lastFrame();
    rig.orvex->call(Member::Stop);

    const picture::Combing inView = picture::combing(shown, shown.rect());
    const QSize display = displaySize(shown);
    const QImage recorded = recordedFrame(file, 10);
    QVERIFY(!recorded.isNull());
    const picture::Combing inFile = picture::combing(recorded, recorded.rect());
    qInfo("combing: view %.2f against %.2f, file %.2f against %.2f; shown %dx%d", inView.betweenFields,
          inView.withinField, inFile.betweenFields, inFile.withinField, display.width(), display.height());
    QVERIFY(inView.betweenFields < inView.withinField);
    QVERIFY(inFile.betweenFields > 1.5 * inFile.withinField);
    QCOMPARE(recorded.size(), size);
    // Two fields a frame in the header, in the order they were taken.
    const auto properties = testing::readBack(file).videoProperties;
    QCOMPARE(properties.fields.size(), std::size_t(2));
    QCOMPARE(properties.fields[0].startLine, firstLine);
    QCOMPARE(properties.fields[1].startLine, 1 - firstLine);
    QCOMPARE(properties.fields[0].height, size.height() / 2);
    // 4:3 whatever the sampling of 625 or 525 lines (720 samples of 59:54 or 10:11 pixels);
    // 16:9 for 1080i.
    QVERIFY2(std::abs(double(display.width()) / display.height() - displayAspect) < 0.01,
             qPrintable(QStringLiteral("%1x%2").arg(display.width()).arg(display.height())));

    // The same shape as another program reads the file: FFmpeg's sample aspect ("N/A" is square).
    const QString ffprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
    if (ffprobe.isEmpty())
        QSKIP("ffprobe is not installed (scripts/install-deps.sh installs it): the file's sample aspect was not read by it");
    QProcess probe;
    probe.start(ffprobe, {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                          QStringLiteral("-show_entries"), QStringLiteral("stream=sample_aspect_ratio"), QStringLiteral("-of"),
                          QStringLiteral("csv=p=0"), QString::fromStdString(file)});
    QVERIFY(probe.waitForFinished(60000));
    const QString read = QString::fromLocal8Bit(probe.readAllStandardOutput()).trimmed();
    const QStringList ratio = read.split(QLatin1Char(':'));
    const double pixel = read == QStringLiteral("N/A") ? 1.0
                         : ratio.size() == 2 && ratio[1].toDouble() > 0 ? ratio[0].toDouble() / ratio[1].toDouble()
                                                                        : 0.0;
    QVERIFY2(std::abs(pixel * size.width() / size.height() - displayAspect) < 0.01, qPrintable(read));
}

// vivid's TV input stores the two fields one after the other when asked (SEQ_TB): the
// control's own source weaves them back into the frame vivid sends interleaved. Its pattern
// of alternating lines, still and without text, makes fields swapped or left unwoven differ
// on every line.
void KernelDevicesTest::fieldsInTurnAreWovenIntoTheInterlacedFrame()
{
    gst_init(nullptr, nullptr);  // no control made here yet
    const int index = int(std::find(camera().inputs.begin(), camera().inputs.end(), "TV 0") - camera().inputs.begin());
    palWithDefaultPicture(index);
    v4l2Ctl({QStringLiteral("-f"), QStringLiteral("175.25")});  // a station: a picture, not noise
    setVividControl(QStringLiteral("test_pattern"), 15);  // "Alternating Hor Lines"
    setVividControl(QStringLiteral("osd_text_mode"), 2);   // "None"
    const auto restore = qScopeGuard([] {
        setVividControl(QStringLiteral("test_pattern"), 0);
        setVividControl(QStringLiteral("osd_text_mode"), 0);
    });
    v4l2_capability node{};
    QVERIFY(askDriver(VIDIOC_QUERYCAP, node));
    const auto api = node.device_caps & V4L2_CAP_VIDEO_CAPTURE ? capture::V4l2MappedStream::Api::SinglePlanar
                                                               : capture::V4l2MappedStream::Api::MultiPlanar;
    // The luma of the fifth frame streamed with the fields laid out as asked.
    const auto streamed = [&](std::uint32_t field) {
        const CapsPtr caps(gst_caps_from_string("video/x-raw, format=YUY2, width=720, height=576, framerate=25/1, "
                                                "interlace-mode=interleaved, field-order=top-field-first"));
        ElementPtr pipeline(gst_pipeline_new(nullptr));
        ElementPtr source = capture::createV4l2MappedSource(Node, api, V4L2_PIX_FMT_YUYV, caps.get(), field);
        GstElement* sink = gst_element_factory_make("appsink", nullptr);
        gst_bin_add_many(GST_BIN(pipeline.get()), source.get(), sink, nullptr);
        gst_element_link(source.get(), sink);
        gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
        QImage luma;
        for (int frame = 0; frame < 5; ++frame) {
            SamplePtr sample(gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND));
            if (!sample || frame < 4)
                continue;
            GstMapInfo map;
            GstBuffer* buffer = gst_sample_get_buffer(sample.get());
            gst_buffer_map(buffer, &map, GST_MAP_READ);
            luma = QImage(720, 576, QImage::Format_Grayscale8);
            for (int y = 0; y < 576; ++y)
                for (int x = 0; x < 720; ++x)
                    luma.scanLine(y)[x] = map.data[(std::size_t(y) * 720 + std::size_t(x)) * 2];
            gst_buffer_unmap(buffer, &map);
        }
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        return luma;
    };
    const auto difference = [](const QImage& a, const QImage& b, int shift) {
        double sum = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                sum += std::abs(a.scanLine(y)[x] - b.scanLine(y ^ shift)[x]);
        return sum / (double(a.width()) * a.height());
    };
    const QImage interlaced = streamed(V4L2_FIELD_INTERLACED);
    QCOMPARE(driverField(), std::uint32_t(V4L2_FIELD_INTERLACED));
    const QImage woven = streamed(V4L2_FIELD_SEQ_TB);
    QCOMPARE(driverField(), std::uint32_t(V4L2_FIELD_SEQ_TB));
    QVERIFY(!interlaced.isNull() && !woven.isNull());
    const double same = difference(woven, interlaced, 0);
    const double swapped = difference(woven, interlaced, 1);  // each line against its neighbour in the other field
    qInfo("woven against interlaced: %.2f levels, against its fields swapped: %.2f", same, swapped);
    QVERIFY(same < 1.0);
    QVERIFY(swapped > 50.0);
}
