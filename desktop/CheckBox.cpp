#include "CheckBox.h"

#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace desktop {

// The style draws the indicator and the focus frame; the caption is drawn here because the
// style's own check box label never wraps.
void CheckBox::paintEvent(QPaintEvent* /*event*/)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);

    QStyleOptionButton indicator = option;
    indicator.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);

    const QRect contents = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, this);
    const int flags = isRightToLeft() ? (CaptionFlags & ~Qt::AlignLeft) | Qt::AlignRight : CaptionFlags;
    painter.drawItemText(contents, flags, option.palette, isEnabled(), option.text, QPalette::WindowText);

    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = painter.fontMetrics().boundingRect(contents, flags, option.text).adjusted(-1, -1, 1, 1)
                         .intersected(rect());
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool CheckBox::hitButton(const QPoint& position) const { return rect().contains(position); }

}  // namespace desktop
