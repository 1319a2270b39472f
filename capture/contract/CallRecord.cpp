#include "CallRecord.h"

#include "CaptureControl.h"

namespace capture {

const char* kindName(CallKind kind)
{
    switch (kind) {
    case CallKind::Put: return "put";
    case CallKind::Get: return "get";
    case CallKind::Call: return "call";
    }
    return "?";
}

namespace {

std::string numberText(Member member) { return std::to_string(number(member)); }

std::string collectionMemberName(int member)
{
    switch (member) {
    case CollectionMember::IndexOf: return "IndexOf";
    case CollectionMember::ShowItemPropertyPage: return "ShowItemPropertyPage";
    }
    return "Member" + std::to_string(member);
}

std::string itemMemberName(int member)
{
    switch (member) {
    case ItemMember::Name: return "Name";
    case ItemMember::Available: return "Available";
    }
    return "Member" + std::to_string(member);
}

std::string rangeMemberName(Member property, int member)
{
    if (member == RangeMember::Supported)
        return "Supported";
    if (isCameraProperty(property)) {
        RangeNumbering numbering = rangeNumbering(property);
        if (member == numbering.min) return "Min";
        if (member == numbering.max) return "Max";
        if (member == numbering.value) return "Value";
    }
    return "Member" + std::to_string(member);
}

std::string typed(const Value& value)
{
    std::string text = typeName(value.type());
    if (!value.isVoid())
        text += " " + value.toString();
    return text;
}

}  // namespace

CallRecord CallRecord::put(Member member, const Value& value)
{
    return {numberText(member), std::string(memberName(member)), CallKind::Put, value, {}};
}

CallRecord CallRecord::get(Member member)
{
    return {numberText(member), std::string(memberName(member)), CallKind::Get, Value(), {}};
}

CallRecord CallRecord::call(Member member, const Value& argument)
{
    return {numberText(member), std::string(memberName(member)), CallKind::Call, argument, {}};
}

CallRecord CallRecord::collectionCall(Member owner, int member, const Value& argument)
{
    return {numberText(owner) + "." + std::to_string(member),
            std::string(memberName(owner)) + "." + collectionMemberName(member), CallKind::Call,
            argument, {}};
}

CallRecord CallRecord::itemGet(Member owner, int position, int member)
{
    return {numberText(owner) + "." + std::to_string(member),
            std::string(memberName(owner)) + "(" + std::to_string(position) + ")."
                + itemMemberName(member),
            CallKind::Get, Value(), {}};
}

CallRecord CallRecord::rangeGet(Member property, int member)
{
    return {numberText(property) + "." + std::to_string(member),
            std::string(memberName(property)) + "." + rangeMemberName(property, member),
            CallKind::Get, Value(), {}};
}

std::string CallRecord::request() const
{
    return number + " " + member + " " + kindName(kind) + " " + typed(argument);
}

std::string CallRecord::line() const
{
    std::string text = request();
    if (result)
        text += " -> " + typed(*result);
    return text;
}

}  // namespace capture
