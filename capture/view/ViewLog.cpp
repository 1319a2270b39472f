#include "ViewLog.h"

Q_LOGGING_CATEGORY(lcView, "orvex.view", QtWarningMsg)
