#pragma once

namespace capture {

// GStreamer loads a plugin when the first element of it is made, and sets up an element's class
// (its pads' templates and their caps) then too. Made once per process, the elements every graph
// is made of are off the first Start's path.
//
// Prepares them on this thread, once per process; a call while another thread prepares them waits
// for it.
void prepareGraphElements();

// Says that a thread of the program will prepare them: engines made from now on leave it to it.
void leaveGraphElementsToAnotherThread();

// Prepares them on this thread unless a thread has begun to or will; does not wait for that one.
// A graph built meanwhile loads what it needs itself: GStreamer's plugin loading is safe from
// any thread.
void prepareGraphElementsUnlessBegun();

}  // namespace capture
