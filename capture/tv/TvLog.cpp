#include "TvLog.h"

Q_LOGGING_CATEGORY(lcTv, "orvex.tv", QtWarningMsg)
