#include "TracedControl.h"

namespace capture {

namespace {

// Runs the call and writes its line, with the result when there is one.
template <typename Call>
Value traced(TraceLog& log, CallRecord record, Call&& call)
{
    Value result;
    try {
        result = call();
    } catch (...) {
        log.write(record);
        throw;
    }
    if (!result.isVoid())
        record.result = result;
    log.write(record);
    return result;
}

class TracedItem : public CaptureItem {
public:
    TracedItem(std::unique_ptr<CaptureItem> inner, Member owner, int position, std::shared_ptr<TraceLog> log)
        : m_inner(std::move(inner)), m_owner(owner), m_position(position), m_log(std::move(log))
    {
    }

    Value name() override
    {
        return traced(*m_log, CallRecord::itemGet(m_owner, m_position, ItemMember::Name),
                      [&] { return m_inner->name(); });
    }

    Value available() override
    {
        return traced(*m_log, CallRecord::itemGet(m_owner, m_position, ItemMember::Available),
                      [&] { return m_inner->available(); });
    }

private:
    std::unique_ptr<CaptureItem> m_inner;
    Member m_owner;
    int m_position;
    std::shared_ptr<TraceLog> m_log;
};

class TracedCollection : public CaptureCollection {
public:
    TracedCollection(std::unique_ptr<CaptureCollection> inner, Member owner, std::shared_ptr<TraceLog> log)
        : m_inner(std::move(inner)), m_owner(owner), m_log(std::move(log))
    {
    }

    int count() override { return m_inner->count(); }

    std::unique_ptr<CaptureItem> item(int position) override
    {
        return std::make_unique<TracedItem>(m_inner->item(position), m_owner, position, m_log);
    }

    Value indexOf(const Value& name) override
    {
        return traced(*m_log, CallRecord::collectionCall(m_owner, CollectionMember::IndexOf, name),
                      [&] { return m_inner->indexOf(name); });
    }

    Value showItemPropertyPage(const Value& index) override
    {
        return traced(*m_log,
                      CallRecord::collectionCall(m_owner, CollectionMember::ShowItemPropertyPage, index),
                      [&] { return m_inner->showItemPropertyPage(index); });
    }

private:
    std::unique_ptr<CaptureCollection> m_inner;
    Member m_owner;
    std::shared_ptr<TraceLog> m_log;
};

class TracedRange : public CameraPropertyRange {
public:
    TracedRange(std::unique_ptr<CameraPropertyRange> inner, std::shared_ptr<TraceLog> log)
        : m_inner(std::move(inner)), m_log(std::move(log))
    {
    }

    Member property() const override { return m_inner->property(); }

    Value get(int member) override
    {
        return traced(*m_log, CallRecord::rangeGet(property(), member),
                      [&] { return m_inner->get(member); });
    }

private:
    std::unique_ptr<CameraPropertyRange> m_inner;
    std::shared_ptr<TraceLog> m_log;
};

}  // namespace

TracedControl::TracedControl(CaptureControl& inner, std::shared_ptr<TraceLog> log)
    : m_inner(inner), m_log(std::move(log))
{
}

void TracedControl::put(Member member, const Value& value)
{
    traced(*m_log, CallRecord::put(member, value), [&] {
        m_inner.put(member, value);
        return Value();
    });
}

Value TracedControl::get(Member member)
{
    return traced(*m_log, CallRecord::get(member), [&] { return m_inner.get(member); });
}

Value TracedControl::call(Member member, const Value& argument)
{
    return traced(*m_log, CallRecord::call(member, argument), [&] { return m_inner.call(member, argument); });
}

std::unique_ptr<CaptureCollection> TracedControl::collection(Member member)
{
    std::unique_ptr<CaptureCollection> inner;
    traced(*m_log, CallRecord::get(member), [&] {
        inner = m_inner.collection(member);
        return Value();
    });
    return std::make_unique<TracedCollection>(std::move(inner), member, m_log);
}

std::unique_ptr<CameraPropertyRange> TracedControl::cameraProperty(Member member)
{
    std::unique_ptr<CameraPropertyRange> inner;
    traced(*m_log, CallRecord::get(member), [&] {
        inner = m_inner.cameraProperty(member);
        return Value();
    });
    return std::make_unique<TracedRange>(std::move(inner), m_log);
}

}  // namespace capture
