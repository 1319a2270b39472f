#pragma once

#include <QLoggingCategory>

// The view's log: the failures and notices it shows, and the first picture of a stream. Off by default; QT_LOGGING_RULES="orvex.view=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcView)
