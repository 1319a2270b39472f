#include "RecordingFile.h"

#include <cerrno>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace capture {

namespace {

// -2 is for a folder that is not there at all; a folder that exists but cannot take the
// file (read-only, not a directory, a virtual filesystem) is -1 like any other refusal.
bool folderMissing(const std::string& name)
{
    std::filesystem::path folder = std::filesystem::path(name).parent_path();
    if (folder.empty())
        folder = ".";
    struct stat info {};
    return ::stat(folder.c_str(), &info) != 0 && errno == ENOENT;
}

}  // namespace

RecordingFile::Status RecordingFile::open(const std::string& name, std::unique_ptr<RecordingFile>& file)
{
    file.reset();
    if (name.empty() || folderMissing(name))
        return Status::NotFound;

    bool created = true;
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC);
    }
    if (fd < 0)
        return Status::CannotCreate;

    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        // A device node or fifo under that name would take the muxer's seeks badly.
        ::close(fd);
        return Status::CannotCreate;
    }
    file.reset(new RecordingFile(name, fd, created, !created && info.st_size == 0));
    return Status::Opened;
}

RecordingFile::RecordingFile(std::string name, int fd, bool created, bool wasEmpty)
    : m_name(std::move(name)), m_fd(fd), m_created(created), m_wasEmpty(wasEmpty)
{
}

RecordingFile::~RecordingFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void RecordingFile::discard()
{
    // The writer holds back what it writes to a file with content, not to an empty one.
    if (m_fd >= 0 && m_wasEmpty && ::ftruncate(m_fd, 0) != 0) {
        // Cannot happen on a descriptor open for writing; the file would keep what was written.
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (m_created)
        ::unlink(m_name.c_str());
    m_created = false;
}

}  // namespace capture
