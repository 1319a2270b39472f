#pragma once

#include "capture/contract/CallRecord.h"
#include "capture/contract/CaptureWidget.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace capture {

// A capture control for tests: scripted collections, results and failures, and a log of every
// call with its member number, kind, exact value type and value.
class FakeCaptureControl : public CaptureWidget {
public:
    struct Item {
        std::string name;
        Value available = Value::i32(1);
    };

    struct Range {
        Value supported = Value::boolean(false);
        Value min = Value::i32(0);
        Value max = Value::i32(0);
        Value value = Value::i32(0);
    };

    explicit FakeCaptureControl(QWidget* parent = nullptr);
    ~FakeCaptureControl() override;

    // --- scripting -------------------------------------------------------------------------
    void setItems(Member collection, std::vector<Item> items);
    void setItemNames(Member collection, const std::vector<std::string>& names);
    // The answer IndexOf gives for one name, instead of looking the name up in the items.
    void setIndexOf(Member collection, const std::string& name, Value answer);
    // The answer of a get or call (Start, SnapShot, HasTVTuner...), from now on.
    void setResult(Member member, Value result);
    // Answers given once each, in order, before falling back to setResult's.
    void queueResults(Member member, std::vector<Value> results);
    // The answer of the video compressors' ShowItemPropertyPage, from now on. By default it
    // answers True for an index of an item and False otherwise.
    void setItemPropertyPageResult(Value answer);
    void setRange(Member property, Range range);
    // Raise CaptureError on the nth call (1 = first) of a member, counted from now. The number
    // is the member's as the log writes it: "48", "41.2", "8.4", "3.1".
    void failOn(const std::string& number, int nthCall, std::string message = "scripted failure");
    // Runs when a member is put or called, after it is logged (a SnapShot that writes a file).
    void onCall(Member member, std::function<void(const Value&)> action);

    // --- what was asked ----------------------------------------------------------------------
    const std::vector<CallRecord>& log() const { return m_log; }
    // The log as "<number> <Member> <kind> <type> <value>" lines, without results.
    std::vector<std::string> requests() const;
    // Only the lines whose number is one of these ("40", "3", "41.2").
    std::vector<std::string> requests(const std::vector<std::string>& numbers) const;
    void clearLog();
    // The value last put on a member; void when it was never put.
    Value lastPut(Member member) const;

    // --- the contract ------------------------------------------------------------------------
    void put(Member member, const Value& value) override;
    Value get(Member member) override;
    Value call(Member member, const Value& argument) override;
    std::unique_ptr<CaptureCollection> collection(Member member) override;
    std::unique_ptr<CameraPropertyRange> cameraProperty(Member member) override;

    // Used by the objects the fake hands out.
    Value record(CallRecord record, Value result);
    const std::vector<Item>& items(Member collection) const;
    Value indexOfAnswer(Member collection, const Value& name) const;
    Value itemPropertyPageAnswer(const Value& index) const;
    const Range& range(Member property) const;

private:
    void failIfScripted(const std::string& number);
    Value scriptedResult(Member member, Value fallback);

    std::vector<CallRecord> m_log;
    std::map<Member, std::vector<Item>> m_items;
    std::map<std::pair<Member, std::string>, Value> m_indexOf;
    std::map<Member, Value> m_results;
    std::map<Member, std::vector<Value>> m_queued;
    std::optional<Value> m_itemPageAnswer;
    std::map<Member, Range> m_ranges;
    struct Failure {
        int callsLeft;
        std::string message;
    };
    std::map<std::string, Failure> m_failures;
    std::map<Member, std::function<void(const Value&)>> m_actions;
};

}  // namespace capture
