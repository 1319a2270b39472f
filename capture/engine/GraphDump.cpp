#include "GraphDump.h"

#include "EngineLog.h"
#include "capture/gst/GstHandle.h"

#include <cstdlib>
#include <fstream>

namespace capture {

namespace {

std::string nameOf(GstObject* object)
{
    GCharPtr name(gst_object_get_path_string(object));
    return name ? name.get() : "?";
}

void describeElement(GstElement* element, std::string& out)
{
    GstIterator* pads = gst_element_iterate_src_pads(element);
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
        auto* pad = GST_PAD(g_value_get_object(&item));
        const PadPtr peer(gst_pad_get_peer(pad));
        out += "\n  " + nameOf(GST_OBJECT(pad)) + " -> " + (peer ? nameOf(GST_OBJECT(peer.get())) : "(not linked)");
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(pads);
}

}  // namespace

std::string describeLinks(GstBin* graph)
{
    std::string out;
    GstIterator* elements = gst_bin_iterate_recurse(graph);
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(elements, &item) == GST_ITERATOR_OK) {
        describeElement(GST_ELEMENT(g_value_get_object(&item)), out);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(elements);
    return out;
}

void dumpGraph(GstBin* graph, int run, const char* stage)
{
    const std::string name = "orvex-run" + std::to_string(run) + "-" + stage;
    GST_DEBUG_BIN_TO_DOT_FILE(graph, GST_DEBUG_GRAPH_SHOW_ALL, name.c_str());
    const char* directory = std::getenv("ORVEX_DEBUG_DOT");
    if (!directory || !*directory)
        return;
    const GCharPtr dot(gst_debug_bin_to_dot_data(graph, GST_DEBUG_GRAPH_SHOW_ALL));
    const std::string path = std::string(directory) + "/" + name + ".dot";
    std::ofstream file(path);
    file << (dot ? dot.get() : "");
    if (!file)
        qCWarning(lcEngine, "could not write the graph to %s", path.c_str());
    else
        qCInfo(lcEngine, "run %d: graph written to %s", run, path.c_str());
}

}  // namespace capture
