#pragma once

#include "capture/contract/CaptureWidget.h"

#include <memory>

namespace capture {

class CatalogueSearch;

// The real capture control, as main() puts it in a window.
CaptureWidget* createOrvex(QWidget* parent);
// The same, made with what the search found if no control took it before.
CaptureWidgetFactory orvexFactory(std::shared_ptr<CatalogueSearch> search);

}  // namespace capture
