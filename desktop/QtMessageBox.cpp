#include "QtMessageBox.h"

#include <QMessageBox>

namespace desktop {

QtMessageBox::QtMessageBox(QWidget* owner, QString title) : m_owner(owner), m_title(std::move(title)) {}

void QtMessageBox::show(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, m_title, text, QMessageBox::Ok, m_owner);
    box.exec();
}

}  // namespace desktop
