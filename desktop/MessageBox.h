#pragma once

#include <QString>

namespace desktop {

// A modal message with an OK button only and no icon, captioned with the program's title.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    virtual void show(const QString& text) = 0;
};

}  // namespace desktop
