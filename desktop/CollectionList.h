#pragma once

#include "capture/contract/CaptureControl.h"

#include <QString>

#include <cstdint>

class QComboBox;

namespace desktop {

// IndexOf's answer for a name the collection does not hold.
constexpr std::int16_t NotFound = -1;

// Adds the collection's names to the list in its order and selects the first, if any.
void fillList(QComboBox* list, capture::CaptureCollection& collection);

// The position of the item of that name, as the collection's IndexOf answers it: NotFound
// when it holds none.
std::int16_t indexOfName(capture::CaptureCollection& collection, const QString& name);

}  // namespace desktop
