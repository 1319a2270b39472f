#include "EngineLog.h"

Q_LOGGING_CATEGORY(lcEngine, "orvex.engine", QtWarningMsg)
