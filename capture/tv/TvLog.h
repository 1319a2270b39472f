#pragma once

#include <QLoggingCategory>

// The TV log: the channel table and standard chosen for a country code. Off by default; QT_LOGGING_RULES="orvex.tv=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcTv)
