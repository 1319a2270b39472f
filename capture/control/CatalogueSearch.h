#pragma once

#include "capture/devices/DeviceCatalogue.h"
#include "capture/devices/EncoderCatalogue.h"

#include <condition_variable>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

namespace capture {

// The devices and compressors a control offers, looked for on a thread of their own from the
// moment a program starts, while Qt sets itself up and the window is built: the window then
// appears sooner. The first control made takes what was found (waiting for what is still being
// looked for); a later one looks again, as the search is a snapshot of its moment. Once the
// window is up, the thread goes on to load the plugins the control's graphs are made of
// (prepareGraphElements), so that they are not loaded while the window is built.
class CatalogueSearch {
public:
    struct Found {
        DeviceCatalogue devices;
        EncoderCatalogue encoders;
    };

    CatalogueSearch();   // starts looking
    ~CatalogueSearch();  // waits for the thread to end

    CatalogueSearch(const CatalogueSearch&) = delete;
    CatalogueSearch& operator=(const CatalogueSearch&) = delete;

    // What was found, once; nothing after that. Raises what the search raised.
    std::optional<Found> take();
    // Lets the thread load the graphs' plugins: the window that took the catalogue is up.
    void windowShown();

private:
    std::mutex m_lock;
    std::condition_variable m_windowUp;
    std::future<Found> m_found;  // guarded by m_lock; invalid once take() has it
    bool m_shown = false;        // guarded by m_lock
    bool m_ending = false;       // guarded by m_lock
    std::thread m_thread;        // last: it starts once the members above are made
};

}  // namespace capture
