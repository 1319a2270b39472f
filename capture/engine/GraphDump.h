#pragma once

#include <gst/gst.h>

#include <string>

namespace capture {

// The links of a graph as one line a link ("videotestsrc0 -> capsfilter0"), for the log.
std::string describeLinks(GstBin* graph);

// Writes the graph as a Graphviz file "<dir>/orvex-run<N>-<stage>.dot" when ORVEX_DEBUG_DOT
// names a directory, and through GStreamer's own dump when GST_DEBUG_DUMP_DOT_DIR is set.
void dumpGraph(GstBin* graph, int run, const char* stage);

}  // namespace capture
