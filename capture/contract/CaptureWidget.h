#pragma once

#include "CaptureControl.h"

#include <QWidget>

#include <functional>

namespace capture {

// The capture control as it sits in a window: a widget that draws the video in its own
// rectangle and answers the contract. The real control and the fake both are one.
class CaptureWidget : public QWidget, public CaptureControl {
public:
    using QWidget::QWidget;
};

// How a window gets its Orvex1: main() builds the real control, a test builds the fake.
using CaptureWidgetFactory = std::function<CaptureWidget*(QWidget* parent)>;

}  // namespace capture
