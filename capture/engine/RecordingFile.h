#pragma once

#include <memory>
#include <string>

namespace capture {

// The capture file as the user named it, opened before anything is built so that Start can
// answer at once whether it can record. The name is used exactly as given: no shell, no
// pipeline text, no temporary files beside it.
class RecordingFile {
public:
    enum class Status { Opened, NotFound, CannotCreate };

    static Status open(const std::string& name, std::unique_ptr<RecordingFile>& file);

    ~RecordingFile();
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;

    int descriptor() const { return m_fd; }
    const std::string& name() const { return m_name; }

    // Recording did not begin: close, and remove the file if this start created it. A file
    // that was there before is left alone (the writer holds back its first writes to such a
    // file until the recording is kept, and drops them otherwise).
    void discard();

private:
    RecordingFile(std::string name, int fd, bool created, bool wasEmpty);

    std::string m_name;
    int m_fd = -1;
    bool m_created = false;
    bool m_wasEmpty = false;  // there before, with nothing in it
};

}  // namespace capture
