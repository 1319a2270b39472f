#include "EncoderProperties.h"

namespace capture {

namespace {

bool isPlainType(GType type)
{
    switch (G_TYPE_FUNDAMENTAL(type)) {
    case G_TYPE_BOOLEAN:
    case G_TYPE_INT:
    case G_TYPE_UINT:
    case G_TYPE_LONG:
    case G_TYPE_ULONG:
    case G_TYPE_INT64:
    case G_TYPE_UINT64:
    case G_TYPE_FLOAT:
    case G_TYPE_DOUBLE:
    case G_TYPE_ENUM:
    case G_TYPE_STRING:
        return true;
    default:
        return false;
    }
}

}  // namespace

bool isEncoderSetting(const GParamSpec* property)
{
    const GParamFlags flags = property->flags;
    return (flags & G_PARAM_READABLE) && (flags & G_PARAM_WRITABLE) && !(flags & G_PARAM_CONSTRUCT_ONLY)
        && isPlainType(property->value_type) && property->owner_type != GST_TYPE_OBJECT
        && property->owner_type != G_TYPE_OBJECT && property->owner_type != GST_TYPE_ELEMENT
        && property->owner_type != GST_TYPE_BIN;
}

}  // namespace capture
