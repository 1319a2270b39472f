#pragma once

#include "capture/contract/CaptureControl.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace capture {

// Opens the settings page of the video compressor at an index; false when it has none.
using ItemPageOpener = std::function<bool(int index)>;

// A snapshot of names the control handed out: devices, inputs, formats, compressors or
// channels (which also say whether they carry a station).
class OrvexCollection : public CaptureCollection {
public:
    struct Entry {
        std::string name;
        std::optional<bool> available;  // channels only
    };

    OrvexCollection(Member owner, std::vector<Entry> entries);
    // The video compressors: their pages open through the control, as long as it exists.
    OrvexCollection(Member owner, std::vector<Entry> entries, std::weak_ptr<ItemPageOpener> pages);

    int count() override;
    std::unique_ptr<CaptureItem> item(int position) override;
    Value indexOf(const Value& name) override;
    Value showItemPropertyPage(const Value& index) override;

private:
    Member m_owner;
    std::vector<Entry> m_entries;
    std::optional<std::weak_ptr<ItemPageOpener>> m_pages;
};

}  // namespace capture
