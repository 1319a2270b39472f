#include "CatalogueSearch.h"

#include "capture/v4l2/V4l2Discovery.h"

namespace capture {

CatalogueSearch::CatalogueSearch()
    : m_found(std::async(std::launch::async, [] { return Found{discoverDevices(), EncoderCatalogue::fromRegistry()}; }))
{
}

CatalogueSearch::~CatalogueSearch()
{
    const std::lock_guard<std::mutex> locked(m_lock);
    if (m_found.valid())
        m_found.wait();
}

std::optional<CatalogueSearch::Found> CatalogueSearch::take()
{
    const std::lock_guard<std::mutex> locked(m_lock);
    if (!m_found.valid())
        return std::nullopt;
    return m_found.get();
}

}  // namespace capture
