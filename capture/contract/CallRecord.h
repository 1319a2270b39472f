#pragma once

#include "Member.h"
#include "Value.h"

#include <optional>
#include <string>

namespace capture {

enum class CallKind { Put, Get, Call };

// One call into the control or into an object it handed out, as the fake logs it and the trace
// writes it: "<number> <Member> <put|get|call> <type> <value>[ -> <type> <value>]".
// Members of a collection, an item or a range object carry their owner's number and name:
// "41.2 VideoInputs.IndexOf call text Composite -> i16 1".
struct CallRecord {
    std::string number;
    std::string member;
    CallKind kind = CallKind::Call;
    Value argument;
    std::optional<Value> result;

    static CallRecord put(Member member, const Value& value);
    static CallRecord get(Member member);
    static CallRecord call(Member member, const Value& argument);
    static CallRecord collectionCall(Member owner, int member, const Value& argument);
    static CallRecord itemGet(Member owner, int position, int member);
    static CallRecord rangeGet(Member property, int member);

    // Without the result: what the caller asked. With it: the trace line.
    std::string request() const;
    std::string line() const;
};

const char* kindName(CallKind kind);

}  // namespace capture
