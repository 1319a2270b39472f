#pragma once

#include <QLoggingCategory>

// The engine's log: the graph of each run, element errors, waits that timed out, frames
// dropped and recordings ended. Off by default; QT_LOGGING_RULES="orvex.engine=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
