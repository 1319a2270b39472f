#include "OrvexFactory.h"

#include "CatalogueSearch.h"
#include "Orvex.h"
#include "capture/v4l2/V4l2Discovery.h"

#include <QTimer>

namespace capture {

CaptureWidget* createOrvex(QWidget* parent) { return new Orvex(parent); }

CaptureWidgetFactory orvexFactory(std::shared_ptr<CatalogueSearch> search)
{
    return [search = std::move(search)](QWidget* parent) -> CaptureWidget* {
        std::optional<CatalogueSearch::Found> found = search->take();
        if (!found)
            return new Orvex(parent);  // a later control looks for itself
        // A node that came or went between the search's scan and the watch's start is put right
        // at the watch's next change, which compares the whole folder with the list.
        auto* orvex = new Orvex(std::move(found->devices), std::move(found->encoders), watchV4l2Nodes(), parent);
        // The window is built, loaded and shown before the event loop's first turn.
        QTimer::singleShot(0, orvex, [search] { search->windowShown(); });
        return orvex;
    };
}

}  // namespace capture
