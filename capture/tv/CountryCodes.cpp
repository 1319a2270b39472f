#include "ChannelTables.h"
#include "TvLog.h"

#include <array>
#include <cmath>

namespace capture::tv {

namespace {

struct CountryEntry {
    int dialCode;
    const char* tableId;
    Standard standard;
};

// Broadcast tables only: a country's cable plan is not what an aerial receives.
constexpr std::array countries = {
    CountryEntry{1, "us-bcast", Standard::NtscM},
    CountryEntry{52, "us-bcast", Standard::NtscM},
    CountryEntry{57, "us-bcast", Standard::NtscM},
    CountryEntry{58, "us-bcast", Standard::NtscM},
    CountryEntry{63, "us-bcast", Standard::NtscM},
    CountryEntry{82, "us-bcast", Standard::NtscMKorea},
    CountryEntry{81, "japan-bcast", Standard::NtscMJapan},
    CountryEntry{55, "us-bcast", Standard::PalM},
    CountryEntry{54, "us-bcast", Standard::PalNc},
    CountryEntry{49, "europe-west", Standard::PalBG},
    CountryEntry{34, "europe-west", Standard::PalBG},
    CountryEntry{31, "europe-west", Standard::PalBG},
    CountryEntry{90, "europe-west", Standard::PalBG},
    CountryEntry{91, "europe-west", Standard::PalBG},
    CountryEntry{62, "europe-west", Standard::PalBG},
    CountryEntry{92, "europe-west", Standard::PalBG},
    CountryEntry{880, "europe-west", Standard::PalBG},
    CountryEntry{66, "europe-west", Standard::PalBG},
    CountryEntry{60, "europe-west", Standard::PalBG},
    CountryEntry{20, "europe-west", Standard::PalBG},
    CountryEntry{213, "europe-west", Standard::PalBG},
    CountryEntry{234, "europe-west", Standard::PalBG},
    CountryEntry{251, "europe-west", Standard::PalBG},
    CountryEntry{254, "europe-west", Standard::PalBG},
    CountryEntry{39, "italy", Standard::PalBG},
    CountryEntry{61, "australia", Standard::PalBG},
    CountryEntry{64, "newzealand", Standard::PalBG},
    CountryEntry{44, "europe-west-uhf", Standard::PalI},
    CountryEntry{353, "ireland", Standard::PalI},
    CountryEntry{27, "southafrica", Standard::PalI},
    CountryEntry{33, "france", Standard::SecamL},
    CountryEntry{7, "europe-east", Standard::SecamDK},
    CountryEntry{380, "europe-east", Standard::SecamDK},
    CountryEntry{48, "europe-east", Standard::PalDK},
    CountryEntry{86, "china-bcast", Standard::PalDK},
};

}  // namespace

std::optional<CountryChoice> countryFor(double dialCode)
{
    // Dialling codes are whole numbers; 49.5 is no country, not Germany.
    if (!std::isfinite(dialCode) || dialCode != std::trunc(dialCode))
        return std::nullopt;
    for (const CountryEntry& country : countries) {
        if (country.dialCode == dialCode) {
            qCDebug(lcTv, "country code %g: channel table %s, standard %s", dialCode, country.tableId,
                    standardName(country.standard));
            return CountryChoice{tableById(country.tableId), country.standard};
        }
    }
    qCDebug(lcTv, "country code %g has no channel table", dialCode);
    return std::nullopt;
}

}  // namespace capture::tv
