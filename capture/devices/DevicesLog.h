#pragma once

#include <QLoggingCategory>

// The devices' log: what discovery found, and devices coming and going. Off by default; QT_LOGGING_RULES="orvex.devices=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcDevices)
