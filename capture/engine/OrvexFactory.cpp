#include "OrvexFactory.h"

namespace capture {

CaptureWidget* createOrvex(QWidget*)
{
    throw CaptureError("The capture engine is not built yet.");
}

}  // namespace capture
