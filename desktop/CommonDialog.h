#pragma once

#include <QString>

#include <cstdint>

namespace desktop {

// The standard dialogs a window keeps for the whole run: a save dialog with a filter and a
// file name, and a colour dialog. Each keeps its file name and colour from one showing to the
// next; a cancelled showing leaves them as they were.
class CommonDialog {
public:
    virtual ~CommonDialog() = default;

    // "Description|pattern" pairs joined by '|', as "Avi File (*.avi)|*.avi".
    virtual void setFilter(const QString& filter) = 0;
    virtual QString filter() const = 0;

    virtual void showSave() = 0;  // modal; asks before it replaces an existing file
    virtual QString fileName() const = 0;

    virtual void showColor() = 0;  // modal
    virtual std::uint32_t color() const = 0;  // RGB, red in the low byte; 0 before any choice

    // Whether the user cancelled the last showing.
    virtual bool cancelled() const = 0;
};

}  // namespace desktop
