#pragma once

#include "EncoderTrial.h"

#include <QString>

#include <map>
#include <optional>
#include <string>

namespace capture {

// The encoder trials already run on this machine, so that a program's start does not run them
// again: one line per encoder, its key (trialKey), whether it is offered and why not, in the
// user's cache folder. A file that cannot be read is as good as none: the trials run again.
class EncoderTrialCache {
public:
    // $XDG_CACHE_HOME/orvex/encoder-trials.tsv
    static QString defaultFile();

    explicit EncoderTrialCache(QString file = defaultFile());

    std::optional<EncoderTrial> find(const std::string& key) const;
    void remember(const std::string& key, EncoderTrial trial);
    // Written whole or not at all; false when it could not be (a read-only home).
    bool save() const;

private:
    QString m_file;
    std::map<std::string, EncoderTrial> m_trials;
};

}  // namespace capture
