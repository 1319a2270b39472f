#pragma once

#include "desktop/Twips.h"

#include <QString>
#include <QWidget>

#include <initializer_list>
#include <span>

class QComboBox;
class QLabel;

namespace desktop {

// Gives a child widget the name the window's handlers and tests know it by and its place in
// twips; returns the widget so a window can build, name and place a control in one line.
template <typename Widget>
Widget* placed(Widget* widget, const char* name, int left, int top, int width, int height)
{
    widget->setObjectName(QString::fromLatin1(name));
    placeInTwips(widget, left, top, width, height);
    return widget;
}

// Chains Tab through the widgets in the order given. A window lists its controls in layout
// order, labels included; those Tab does not stop at are passed over, because Qt will not chain
// a widget that takes no focus and the chain would break there.
void chainTabOrder(std::span<QWidget* const> order);
void chainTabOrder(std::initializer_list<QWidget*> order);

// The text of the selected entry; empty when nothing is selected. Text typed into an editable
// list's field is not an entry and does not count.
QString selectedText(const QComboBox* list);

// Ties a label to the control it names: the label becomes the control's buddy, so assistive
// tools read the control as labelled by it, and the control takes the caption, without the
// line break some captions end in, as its accessible name.
void labelFor(QLabel* label, QWidget* control);

}  // namespace desktop
