#include "OrvexCollection.h"

namespace capture {

namespace {

std::string ownerName(Member owner) { return std::string(memberName(owner)); }

class OrvexItem : public CaptureItem {
public:
    OrvexItem(Member owner, OrvexCollection::Entry entry) : m_owner(owner), m_entry(std::move(entry)) {}

    Value name() override { return Value::text(m_entry.name); }

    Value available() override
    {
        if (!m_entry.available)
            throw CaptureError("Items of " + ownerName(m_owner)
                               + " have no member Available; only TV channels do.");
        return Value::i32(*m_entry.available ? 1 : 0);
    }

private:
    Member m_owner;
    OrvexCollection::Entry m_entry;
};

}  // namespace

OrvexCollection::OrvexCollection(Member owner, std::vector<Entry> entries)
    : m_owner(owner), m_entries(std::move(entries))
{
}

OrvexCollection::OrvexCollection(Member owner, std::vector<Entry> entries,
                                 std::weak_ptr<ItemPageOpener> pages)
    : m_owner(owner), m_entries(std::move(entries)), m_pages(std::move(pages))
{
}

int OrvexCollection::count() { return static_cast<int>(m_entries.size()); }

std::unique_ptr<CaptureItem> OrvexCollection::item(int position)
{
    if (position < 0 || position >= count())
        throw CaptureError(ownerName(m_owner) + " has no item " + std::to_string(position) + ": it holds "
                           + std::to_string(count()) + ".");
    return std::make_unique<OrvexItem>(m_owner, m_entries[static_cast<size_t>(position)]);
}

Value OrvexCollection::indexOf(const Value& name)
{
    const std::string wanted = toText(name);
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].name == wanted)
            return Value::i16(static_cast<std::int16_t>(i));
    return Value::i16(-1);
}

Value OrvexCollection::showItemPropertyPage(const Value& index)
{
    if (!m_pages)
        throw CaptureError(ownerName(m_owner)
                           + " has no member ShowItemPropertyPage; only VideoCompressors has pages.");
    const int position = toInt16(index);
    if (position < 0 || position >= count())
        return Value::boolean(false);
    auto open = m_pages->lock();
    if (!open)
        throw CaptureError("The capture control that listed these compressors is gone; "
                           "get VideoCompressors again from a live control.");
    return Value::boolean((*open)(position));
}

}  // namespace capture
