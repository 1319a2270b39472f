#include "TraceLog.h"

#include <cstdlib>
#include <iostream>

namespace capture {

TraceLog::TraceLog(const std::string& path) : m_file(path, std::ios::out | std::ios::app) {}

std::shared_ptr<TraceLog> TraceLog::fromEnvironment()
{
    const char* path = std::getenv("ORVEX_TRACE");
    if (!path || !*path)
        return nullptr;
    auto log = std::make_shared<TraceLog>(path);
    if (!log->isOpen()) {
        std::cerr << "ORVEX_TRACE names \"" << path
                  << "\", which cannot be opened for appending; calls are not traced.\n";
        return nullptr;
    }
    return log;
}

void TraceLog::write(const CallRecord& record)
{
    m_file << record.line() << '\n' << std::flush;
}

}  // namespace capture
