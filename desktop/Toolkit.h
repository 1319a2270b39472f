#pragma once

#include "CommonDialog.h"
#include "MessageBox.h"

#include <memory>

class QWidget;

namespace desktop {

// Where a window gets its dialogs: the Qt ones in the programs, scripted ones in tests.
class Toolkit {
public:
    virtual ~Toolkit() = default;
    virtual std::unique_ptr<CommonDialog> commonDialog(QWidget* owner) = 0;
    virtual std::unique_ptr<MessageBox> messageBox(QWidget* owner, const QString& title) = 0;
};

class QtToolkit : public Toolkit {
public:
    std::unique_ptr<CommonDialog> commonDialog(QWidget* owner) override;
    std::unique_ptr<MessageBox> messageBox(QWidget* owner, const QString& title) override;
};

}  // namespace desktop
