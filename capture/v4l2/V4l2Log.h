#pragma once

#include <QLoggingCategory>

// The V4L2 log: nodes opened and refused, and each ioctl that failed, with its errno. Off by default; QT_LOGGING_RULES="orvex.v4l2=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcV4l2)
