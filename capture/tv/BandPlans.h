#pragma once

#include "ChannelTables.h"

#include <vector>

namespace capture::tv {

// Every channel table, built once on first use and kept for the life of the process, so the
// pointers that countryFor and tableById hand out never dangle.
const std::vector<ChannelTable>& bandPlans();

}  // namespace capture::tv
