#include "QtCommonDialog.h"
#include "QtMessageBox.h"
#include "Toolkit.h"

namespace desktop {

std::unique_ptr<CommonDialog> QtToolkit::commonDialog(QWidget* owner)
{
    return std::make_unique<QtCommonDialog>(owner);
}

std::unique_ptr<MessageBox> QtToolkit::messageBox(QWidget* owner, const QString& title)
{
    return std::make_unique<QtMessageBox>(owner, title);
}

}  // namespace desktop
