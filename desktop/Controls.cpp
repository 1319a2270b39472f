#include "Controls.h"

#include <QComboBox>
#include <QLabel>

namespace desktop {

void chainTabOrder(std::span<QWidget* const> order)
{
    QWidget* previous = nullptr;
    for (QWidget* control : order) {
        if (!(control->focusPolicy() & Qt::TabFocus))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
}

void chainTabOrder(std::initializer_list<QWidget*> order)
{
    chainTabOrder(std::span<QWidget* const>(order.begin(), order.size()));
}

QString selectedText(const QComboBox* list)
{
    const int position = list->currentIndex();
    return position < 0 ? QString() : list->itemText(position);
}

void labelFor(QLabel* label, QWidget* control)
{
    label->setBuddy(control);
    const QString name = label->text().trimmed();
    control->setAccessibleName(name);
    if (name != label->text())
        label->setAccessibleName(name);
}

}  // namespace desktop
