#include "CatalogueSearch.h"

#include "capture/devices/EncoderCatalogueCache.h"
#include "capture/engine/GraphElements.h"
#include "capture/v4l2/V4l2Discovery.h"

namespace capture {

CatalogueSearch::CatalogueSearch()
{
    std::promise<Found> promise;
    m_found = promise.get_future();
    leaveGraphElementsToAnotherThread();
    m_thread = std::thread([this, promise = std::move(promise)]() mutable {
        try {
            promise.set_value(Found{discoverDevices(), EncoderCatalogueCache().keptOrFound()});
        } catch (...) {
            promise.set_exception(std::current_exception());
        }
        // The window is built meanwhile; the plugins wait until it is up, so that they do not
        // compete with it for the processor and the memory.
        std::unique_lock<std::mutex> locked(m_lock);
        m_windowUp.wait(locked, [this] { return m_shown || m_ending; });
        if (m_shown)
            prepareGraphElements();
    });
}

CatalogueSearch::~CatalogueSearch()
{
    {
        const std::lock_guard<std::mutex> locked(m_lock);
        m_ending = true;
    }
    m_windowUp.notify_one();
    m_thread.join();
}

std::optional<CatalogueSearch::Found> CatalogueSearch::take()
{
    std::future<Found> found;
    {
        const std::lock_guard<std::mutex> locked(m_lock);
        if (!m_found.valid())
            return std::nullopt;
        found = std::move(m_found);
    }
    // Waits here, unlocked, for what is still being looked for.
    return found.get();
}

void CatalogueSearch::windowShown()
{
    {
        const std::lock_guard<std::mutex> locked(m_lock);
        m_shown = true;
    }
    m_windowUp.notify_one();
}

}  // namespace capture
