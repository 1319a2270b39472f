#include "V4l2Log.h"

Q_LOGGING_CATEGORY(lcV4l2, "orvex.v4l2", QtWarningMsg)
