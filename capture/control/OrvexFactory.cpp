#include "OrvexFactory.h"

#include "Orvex.h"

namespace capture {

CaptureWidget* createOrvex(QWidget* parent) { return new Orvex(parent); }

}  // namespace capture
