#pragma once

#include "capture/devices/DeviceCatalogue.h"
#include "capture/devices/EncoderCatalogue.h"

#include <future>
#include <mutex>
#include <optional>

namespace capture {

// The devices and compressors a control offers, looked for on a thread of their own from the
// moment a program starts, while Qt sets itself up and the window is built: the window then
// appears sooner. The first control made takes what was found (waiting for what is still being
// looked for); a later one looks again, as the search is a snapshot of its moment.
class CatalogueSearch {
public:
    struct Found {
        DeviceCatalogue devices;
        EncoderCatalogue encoders;
    };

    CatalogueSearch();   // starts looking
    ~CatalogueSearch();  // waits for a search under way to end

    CatalogueSearch(const CatalogueSearch&) = delete;
    CatalogueSearch& operator=(const CatalogueSearch&) = delete;

    // What was found, once; nothing after that. Raises what the search raised.
    std::optional<Found> take();

private:
    std::mutex m_lock;
    std::future<Found> m_found;  // guarded by m_lock; invalid once taken
};

}  // namespace capture
