#include "ControlRig.h"

#include <QTemporaryDir>
#include <QtTest>

#include <gst/gst.h>

using namespace capture;

namespace {

// GStreamer's own leaks tracer, loaded through GST_TRACERS=leaks before gst_init.
GstTracer* leaksTracer()
{
    GList* tracers = gst_tracing_get_active_tracers();
    GstTracer* found = nullptr;
    for (GList* node = tracers; node; node = node->next) {
        auto* tracer = static_cast<GstTracer*>(node->data);
        if (!found && g_strcmp0(G_OBJECT_TYPE_NAME(tracer), "GstLeaksTracer") == 0)
            found = GST_TRACER(gst_object_ref(tracer));
    }
    g_list_free_full(tracers, gst_object_unref);
    return found;
}

// The objects and mini objects still alive that the tracer saw being made, by type.
QStringList liveObjects(GstTracer* tracer)
{
    GstStructure* live = nullptr;
    g_signal_emit_by_name(tracer, "get-live-objects", &live);
    QStringList names;
    const GValue* list = gst_structure_get_value(live, "live-objects-list");
    for (guint i = 0; list && i < gst_value_list_get_size(list); ++i) {
        const GstStructure* info = gst_value_get_structure(gst_value_list_get_value(list, i));
        const GValue* type = gst_structure_get_value(info, "type-name");
        names << QString::fromUtf8(type ? g_value_get_string(type) : "?");
    }
    gst_structure_free(live);
    return names;
}

}  // namespace

// Once the control is gone, nothing of its graphs may stay alive: not an element, a pad, a bus,
// a buffer or a sample.
class GstLeaksTest : public QObject {
    Q_OBJECT

private slots:
    void nothingOutlivesTheControl();
};

void GstLeaksTest::nothingOutlivesTheControl()
{
    gst_init(nullptr, nullptr);
    GstTracer* tracer = leaksTracer();
    if (!tracer)
        QSKIP("GStreamer's leaks tracer is not loaded: run with GST_TRACERS=leaks (CTest sets it).");
    const QStringList before = liveObjects(tracer);

    {
        QTemporaryDir folder;
        auto control = controltest::virtualOrvex();
        control->show();
        QCOMPARE(control->call(Member::Start), Value::i16(0));
        QTest::qWait(200);
        QCOMPARE(control->call(Member::Start), Value::i16(0));  // a second run on a running control
        control->put(Member::CaptureFileName, Value::text(folder.filePath("leaks.avi").toStdString()));
        control->put(Member::CaptureToFile, Value::boolean(true));
        QCOMPARE(control->call(Member::Start), Value::i16(0));
        QTest::qWait(300);
        control->call(Member::Stop);
        control->put(Member::VideoDevice, Value::i16(1));
        QCOMPARE(control->call(Member::Start), Value::i16(0));
        QTest::qWait(200);
    }
    QCoreApplication::processEvents();

    QStringList left = liveObjects(tracer);
    for (const QString& name : before)
        left.removeOne(name);
    gst_object_unref(tracer);
    QVERIFY2(left.isEmpty(), qPrintable("still alive: " + left.join(", ")));
    gst_deinit();
}

QTEST_MAIN(GstLeaksTest)
#include "GstLeaksTest.moc"
