#pragma once

#include "EncoderCatalogue.h"
#include "GstRegistryStamp.h"

#include <QString>

#include <optional>
#include <string>

namespace capture {

// The encoder catalogue as the last search made it, kept with what it was made from: GStreamer's
// registry (registryStamp) and the encoder trials. A program whose registry, plugins and trials
// are as they were then lists its encoders from here, without loading the registry before its
// window is shown. Bump kFormat when what the catalogue holds or how it names encoders changes.
class EncoderCatalogueCache {
public:
    static constexpr int kFormat = 1;

    // $XDG_CACHE_HOME/orvex/encoder-catalogue.tsv
    static QString defaultFile();

    explicit EncoderCatalogueCache(QString file = defaultFile(), QString trialsFile = EncoderTrialCache::defaultFile(),
                                   RegistryPlace place = RegistryPlace::ofProcess());

    // The catalogue kept for what the registry and the trials are now; nothing if either changed,
    // the registry cannot be told without GStreamer, or the file is not whole.
    std::optional<EncoderCatalogue> load() const;
    // Keeps the catalogue for what the registry and the trials are now; false when it cannot (a
    // read-only home, a registry that cannot be told): the catalogue is made again next time.
    bool save(const EncoderCatalogue& catalogue) const;
    // The catalogue kept here if it still holds, else made from the registry and kept.
    EncoderCatalogue keptOrFound() const;

private:
    std::optional<std::string> stamp() const;

    QString m_file;
    QString m_trialsFile;
    RegistryPlace m_place;
};

}  // namespace capture
