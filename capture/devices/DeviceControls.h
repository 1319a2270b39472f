#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace capture {

// What kind of value a control holds, and so how it is edited.
enum class ControlKind {
    Integer,      // 32-bit, with a range and a step
    Boolean,
    Menu,         // an index into named entries
    IntegerMenu,  // an index into numbers
    Button,       // no value: writing it makes the device act
    Integer64,
    Bitmask,      // 32 bits, any of them set within `maximum`
    String,       // `minimum` to `maximum` characters
    Compound,     // an array or a structure: shown, not edited
};

struct ControlMenuEntry {
    std::int64_t index = 0;
    std::string label;  // an integer menu's number as text
};

// One control as its device describes it now, with its current value.
struct DeviceControl {
    std::uint32_t id = 0;
    ControlKind kind = ControlKind::Integer;
    std::string name;     // as the device gives it
    std::string key;      // the name as command-line tools spell it: "white_balance_automatic"
    std::string section;  // the name of the class it belongs to: "User Controls"
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
    std::uint64_t step = 1;
    std::int64_t defaultValue = 0;
    std::vector<ControlMenuEntry> menu;  // the entries the device offers, holes left out
    // Compound and array controls: what one element is ("u8", "s64", "area") and how many.
    std::string elementType;
    std::vector<std::uint32_t> dimensions;

    bool readOnly = false;
    bool writeOnly = false;       // the value cannot be read back
    bool inactive = false;        // another control (an automatic mode) overrides it for now
    bool grabbed = false;         // held while the device streams
    bool isVolatile = false;      // the device changes it by itself
    bool automaticMode = false;   // switching it changes whether other controls are in effect

    std::int64_t value = 0;
    std::string text;         // a String control's value
    std::string defaultText;  // and its default
    bool hasValue = false;  // false when write-only or the read failed

    bool writable() const { return !readOnly && kind != ControlKind::Compound; }
};

// Why a write did not take; nothing changed on the device.
enum class ControlWrite {
    Applied,
    Busy,            // another program or the running stream holds it
    AutomaticIsOn,   // not settable while its automatic mode is on
    OutOfRange,      // the device refuses the value
    ReadOnly,
    NoAnswer,        // the device did not answer (I/O error, timeout)
    Gone,            // the device or the control is no longer there
};

// The controls of one video device (and of its current input): what the device has, their
// values, writes, and the changes that the device or another program makes. Every call goes
// to the device at once; nothing is cached between calls.
class DeviceControls {
public:
    virtual ~DeviceControls() = default;

    // Every enabled control in the device's order, read now.
    virtual std::vector<DeviceControl> list() = 0;
    // One control described and read again; nothing when the device no longer offers it.
    virtual std::optional<DeviceControl> read(std::uint32_t id) = 0;
    // A number control's value alone, read now (cheaper than read); nothing when unreadable.
    virtual std::optional<std::int64_t> value(std::uint32_t id) = 0;
    // A number (Integer, Boolean, menus, Integer64, Bitmask; any value presses a Button).
    virtual ControlWrite write(std::uint32_t id, std::int64_t value) = 0;
    virtual ControlWrite writeText(std::uint32_t id, const std::string& text) = 0;

    // Starts reporting changes of these controls' values and flags, also the ones this object
    // makes; answers a descriptor that polls as exceptional (POLLPRI) while a change waits, or
    // -1 when the caller has to ask changes() now and then.
    virtual int watch(const std::vector<std::uint32_t>& ids) = 0;
    virtual void unwatch() = 0;
    // The controls whose value or flags changed since the last call, each once.
    virtual std::vector<std::uint32_t> changes() = 0;

    // Every writable control back to its default, as after plugging the device in: the
    // manual values first, the automatic modes last. Buttons are not pressed. Answers the
    // controls that refused, with why.
    virtual std::vector<std::pair<std::uint32_t, ControlWrite>> resetToDefaults() = 0;
};

// The value a control of this range and step takes for a request, as the kernel's control
// framework stores it: clamped to the range, then the nearest point of the step grid from the
// minimum, halves up, but never past the last grid point inside the range.
std::int64_t alignToStep(std::int64_t minimum, std::int64_t maximum, std::uint64_t step, std::int64_t requested);

// "White Balance, Automatic" as v4l2-ctl spells it: "white_balance_automatic".
std::string controlKey(const std::string& name);

}  // namespace capture
