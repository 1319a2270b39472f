#include "DevicesLog.h"

Q_LOGGING_CATEGORY(lcDevices, "orvex.devices", QtWarningMsg)
