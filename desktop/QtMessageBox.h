#pragma once

#include "MessageBox.h"

#include <QPointer>
#include <QWidget>

namespace desktop {

class QtMessageBox : public MessageBox {
public:
    QtMessageBox(QWidget* owner, QString title);
    void show(const QString& text) override;

private:
    QPointer<QWidget> m_owner;
    QString m_title;
};

}  // namespace desktop
