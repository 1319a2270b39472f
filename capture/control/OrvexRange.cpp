#include "OrvexRange.h"

#include <string>

namespace capture {

OrvexRange::OrvexRange(Member property, SettingRange range) : m_property(property), m_range(range)
{
    rangeNumbering(property);  // raises for a member that is not a camera setting
}

Value OrvexRange::get(int member)
{
    if (member == RangeMember::Supported)
        return Value::boolean(m_range.supported);
    const RangeNumbering numbering = rangeNumbering(m_property);
    if (member == numbering.min)
        return Value::i32(m_range.min);
    if (member == numbering.max)
        return Value::i32(m_range.max);
    if (member == numbering.value)
        return Value::i32(m_range.value);
    throw CaptureError("The range of " + std::string(memberName(m_property)) + " has no member "
                       + std::to_string(member) + ".");
}

}  // namespace capture
