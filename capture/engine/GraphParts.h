#pragma once

#include "PipelineFailure.h"

#include <gst/gst.h>

#include <string>
#include <vector>

namespace capture {

// Which element of a run belongs to which part of the graph, to tell what a bus error means.
// Elements are not owned: the pipeline holds them for as long as the run lasts.
class GraphParts {
public:
    // label names the part to the user (a device's or file's name); empty: the factory of the
    // element that failed.
    void add(GstElement* element, PipelineFailure::Part part, std::string label = {});

    // What an error from this element or pad is about. Errors from outside every known part
    // are the video source's: the graph begins there.
    PipelineFailure failureAt(GstObject* origin) const;

private:
    struct Member {
        GstElement* element;
        PipelineFailure::Part part;
        std::string label;
    };
    std::vector<Member> m_members;
};

// The part, element, texts and kind of an error message.
PipelineFailure classifyError(GstMessage* error, const GraphParts& parts);

// The factory an element was made from ("x264enc"), or its name.
std::string factoryName(GstElement* element);

}  // namespace capture
