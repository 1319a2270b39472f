#include "FakeCaptureControl.h"

#include <algorithm>

namespace capture {

namespace {

class FakeItem : public CaptureItem {
public:
    FakeItem(FakeCaptureControl& fake, Member owner, int position)
        : m_fake(fake), m_owner(owner), m_position(position)
    {
    }

    Value name() override
    {
        const auto& item = m_fake.items(m_owner).at(static_cast<size_t>(m_position));
        return m_fake.record(CallRecord::itemGet(m_owner, m_position, ItemMember::Name),
                             Value::text(item.name));
    }

    Value available() override
    {
        if (m_owner != Member::TVChannels)
            throw CaptureError("Object doesn't support this property or method: Available");
        const auto& item = m_fake.items(m_owner).at(static_cast<size_t>(m_position));
        return m_fake.record(CallRecord::itemGet(m_owner, m_position, ItemMember::Available),
                             item.available);
    }

private:
    FakeCaptureControl& m_fake;
    Member m_owner;
    int m_position;
};

class FakeCollection : public CaptureCollection {
public:
    FakeCollection(FakeCaptureControl& fake, Member owner) : m_fake(fake), m_owner(owner) {}

    int count() override { return static_cast<int>(m_fake.items(m_owner).size()); }

    std::unique_ptr<CaptureItem> item(int position) override
    {
        if (position < 0 || position >= count())
            throw CaptureError("Subscript out of range");
        return std::make_unique<FakeItem>(m_fake, m_owner, position);
    }

    Value indexOf(const Value& name) override
    {
        return m_fake.record(CallRecord::collectionCall(m_owner, CollectionMember::IndexOf, name),
                             m_fake.indexOfAnswer(m_owner, name));
    }

    Value showItemPropertyPage(const Value& index) override
    {
        if (m_owner != Member::VideoCompressors)
            throw CaptureError("Object doesn't support this property or method: ShowItemPropertyPage");
        return m_fake.record(
            CallRecord::collectionCall(m_owner, CollectionMember::ShowItemPropertyPage, index),
            m_fake.itemPropertyPageAnswer(index));
    }

private:
    FakeCaptureControl& m_fake;
    Member m_owner;
};

class FakeRange : public CameraPropertyRange {
public:
    FakeRange(FakeCaptureControl& fake, Member property) : m_fake(fake), m_property(property) {}

    Member property() const override { return m_property; }

    Value get(int member) override
    {
        const auto& range = m_fake.range(m_property);
        const RangeNumbering numbering = rangeNumbering(m_property);
        Value answer;
        if (member == RangeMember::Supported)
            answer = range.supported;
        else if (member == numbering.min)
            answer = range.min;
        else if (member == numbering.max)
            answer = range.max;
        else if (member == numbering.value)
            answer = range.value;
        else
            throw CaptureError("Object doesn't support this property or method: member "
                               + std::to_string(member) + " of " + std::string(memberName(m_property)));
        return m_fake.record(CallRecord::rangeGet(m_property, member), answer);
    }

private:
    FakeCaptureControl& m_fake;
    Member m_property;
};

}  // namespace

FakeCaptureControl::FakeCaptureControl(QWidget* parent) : CaptureWidget(parent)
{
    setObjectName(QStringLiteral("Orvex1"));
    setAutoFillBackground(true);
}

FakeCaptureControl::~FakeCaptureControl() = default;

void FakeCaptureControl::setItems(Member collection, std::vector<Item> items)
{
    m_items[collection] = std::move(items);
}

void FakeCaptureControl::setItemNames(Member collection, const std::vector<std::string>& names)
{
    std::vector<Item> items;
    for (const auto& name : names)
        items.push_back({name});
    setItems(collection, std::move(items));
}

void FakeCaptureControl::setIndexOf(Member collection, const std::string& name, Value answer)
{
    m_indexOf[{collection, name}] = std::move(answer);
}

void FakeCaptureControl::setResult(Member member, Value result) { m_results[member] = std::move(result); }

void FakeCaptureControl::queueResults(Member member, std::vector<Value> results)
{
    auto& queue = m_queued[member];
    queue.insert(queue.end(), results.begin(), results.end());
}

void FakeCaptureControl::setItemPropertyPageResult(Value answer) { m_itemPageAnswer = std::move(answer); }

void FakeCaptureControl::setRange(Member property, Range range) { m_ranges[property] = std::move(range); }

void FakeCaptureControl::failOn(const std::string& number, int nthCall, std::string message)
{
    m_failures[number] = {nthCall, std::move(message)};
}

void FakeCaptureControl::onCall(Member member, std::function<void(const Value&)> action)
{
    m_actions[member] = std::move(action);
}

std::vector<std::string> FakeCaptureControl::requests() const
{
    std::vector<std::string> lines;
    for (const auto& record : m_log)
        lines.push_back(record.request());
    return lines;
}

std::vector<std::string> FakeCaptureControl::requests(const std::vector<std::string>& numbers) const
{
    std::vector<std::string> lines;
    for (const auto& record : m_log)
        if (std::find(numbers.begin(), numbers.end(), record.number) != numbers.end())
            lines.push_back(record.request());
    return lines;
}

void FakeCaptureControl::clearLog() { m_log.clear(); }

Value FakeCaptureControl::lastPut(Member member) const
{
    for (auto it = m_log.rbegin(); it != m_log.rend(); ++it)
        if (it->kind == CallKind::Put && it->number == std::to_string(number(member)))
            return it->argument;
    return Value();
}

void FakeCaptureControl::failIfScripted(const std::string& number)
{
    auto it = m_failures.find(number);
    if (it == m_failures.end())
        return;
    if (--it->second.callsLeft == 0) {
        std::string message = it->second.message;
        m_failures.erase(it);
        throw CaptureError(message);
    }
}

Value FakeCaptureControl::record(CallRecord record, Value result)
{
    const std::string number = record.number;
    if (!result.isVoid())
        record.result = result;
    m_log.push_back(std::move(record));
    failIfScripted(number);
    return result;
}

Value FakeCaptureControl::scriptedResult(Member member, Value fallback)
{
    auto queued = m_queued.find(member);
    if (queued != m_queued.end() && !queued->second.empty()) {
        Value next = queued->second.front();
        queued->second.erase(queued->second.begin());
        return next;
    }
    auto it = m_results.find(member);
    return it != m_results.end() ? it->second : fallback;
}

const std::vector<FakeCaptureControl::Item>& FakeCaptureControl::items(Member collection) const
{
    static const std::vector<Item> none;
    auto it = m_items.find(collection);
    return it != m_items.end() ? it->second : none;
}

Value FakeCaptureControl::indexOfAnswer(Member collection, const Value& name) const
{
    const std::string text = toText(name);
    auto scripted = m_indexOf.find({collection, text});
    if (scripted != m_indexOf.end())
        return scripted->second;
    const auto& list = items(collection);
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].name == text)
            return Value::i16(static_cast<std::int16_t>(i));
    return Value::i16(-1);
}

Value FakeCaptureControl::itemPropertyPageAnswer(const Value& index) const
{
    if (m_itemPageAnswer)
        return *m_itemPageAnswer;
    const int position = toInt16(index);
    const bool known = position >= 0 && position < static_cast<int>(items(Member::VideoCompressors).size());
    return Value::boolean(known);
}

const FakeCaptureControl::Range& FakeCaptureControl::range(Member property) const
{
    static const Range unsupported;
    auto it = m_ranges.find(property);
    return it != m_ranges.end() ? it->second : unsupported;
}

void FakeCaptureControl::put(Member member, const Value& value)
{
    record(CallRecord::put(member, value), Value());
    if (auto action = m_actions.find(member); action != m_actions.end())
        action->second(value);
}

Value FakeCaptureControl::get(Member member)
{
    Value fallback = member == Member::HasTVTuner ? Value::boolean(false) : Value();
    if (isCollection(member) || isCameraProperty(member))
        throw CaptureError("Member " + std::string(memberName(member)) + " hands out an object");
    return record(CallRecord::get(member), scriptedResult(member, fallback));
}

Value FakeCaptureControl::call(Member member, const Value& argument)
{
    Value fallback;
    if (member == Member::Start)
        fallback = Value::i16(0);
    else if (member == Member::SnapShot)
        fallback = Value::boolean(true);
    Value result = record(CallRecord::call(member, argument), scriptedResult(member, fallback));
    if (auto action = m_actions.find(member); action != m_actions.end())
        action->second(argument);
    return result;
}

std::unique_ptr<CaptureCollection> FakeCaptureControl::collection(Member member)
{
    if (!isCollection(member))
        throw CaptureError("Member " + std::string(memberName(member)) + " is not a collection");
    record(CallRecord::get(member), Value());
    return std::make_unique<FakeCollection>(*this, member);
}

std::unique_ptr<CameraPropertyRange> FakeCaptureControl::cameraProperty(Member member)
{
    if (!isCameraProperty(member))
        throw CaptureError("Member " + std::string(memberName(member)) + " is not a camera setting");
    record(CallRecord::get(member), Value());
    return std::make_unique<FakeRange>(*this, member);
}

}  // namespace capture
