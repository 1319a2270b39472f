#pragma once

#include "capture/contract/CallRecord.h"

#include <fstream>
#include <memory>
#include <string>

namespace capture {

// The file that ORVEX_TRACE names: one line per call into the control, appended and flushed
// at once so that the lines survive a crash of the program that made the calls.
class TraceLog {
public:
    explicit TraceLog(const std::string& path);

    // A log on the file ORVEX_TRACE names; none when the variable is unset or empty, or the
    // file cannot be opened (which is said once on standard error).
    static std::shared_ptr<TraceLog> fromEnvironment();

    bool isOpen() const { return m_file.is_open(); }
    void write(const CallRecord& record);

private:
    std::ofstream m_file;
};

}  // namespace capture
