// The C library's entry points, as seen by a process this library is preloaded into
// (LD_PRELOAD). Calls on emulated nodes and their descriptors are answered by the nodes; every
// other call goes on to the C library unchanged. munmap and epoll need no entry of their own:
// mappings are real memory and descriptors are real timerfds, ready when a frame is. poll and
// select have one only to add what a timerfd cannot report: a pending event (POLLPRI).

#include "EmulatedNodes.h"
#include "RealCalls.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <vector>

using capture::emulated::EmulatedNodes;
namespace real = capture::emulated::real;

namespace {

EmulatedNodes& nodes()
{
    return EmulatedNodes::instance();
}

mode_t modeArgument(int flags, va_list arguments)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

int openAt(int directory, const char* path, int flags, mode_t mode)
{
    if (const auto fd = nodes().open(directory, path, flags))
        return *fd;
    return real::openat(directory, path, flags, mode);
}

int closeDescriptor(int fd)
{
    auto file = nodes().release(fd);
    const int result = real::close(fd);
    const int error = errno;
    file.reset();  // the last descriptor of a file ends its stream
    errno = error;
    return result;
}

int duplicateInto(int result, int from)
{
    if (result >= 0)
        nodes().duplicated(from, result);
    return result;
}

// `to` was closed by the call when it succeeded (unless it was `from` itself).
int duplicateOnto(int result, int from, int to)
{
    if (result < 0 || from == to)
        return result;
    auto replaced = nodes().release(to);
    nodes().duplicated(from, to);
    return result;
}

int ioctlOn(int fd, unsigned long request, void* argument)
{
    if (const auto file = nodes().file(fd))
        return file->ioctl(fd, request, argument);
    return real::ioctl(fd, request, argument);
}

ssize_t readFrom(int fd, void* buffer, size_t count)
{
    if (const auto file = nodes().file(fd))
        return file->read(fd, buffer, count);
    return real::read(fd, buffer, count);
}

bool hasEvent(int fd)
{
    const auto file = fd >= 0 ? nodes().file(fd) : nullptr;
    return file && file->eventPending();
}

// Marks POLLPRI where an emulated file asked for it has an event; the count of ready entries.
int addEvents(pollfd* fds, nfds_t count, int result)
{
    if (result < 0)
        return result;
    int ready = 0;
    for (nfds_t index = 0; index < count; ++index) {
        if ((fds[index].events & POLLPRI) && hasEvent(fds[index].fd))
            fds[index].revents |= POLLPRI;
        ready += fds[index].revents != 0;
    }
    return ready;
}

// An event already pending makes the wait return at once, as it does in the kernel; one raised
// while the caller waits is seen when the wait ends for another reason.
int pollOn(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask)
{
    bool pending = false;
    for (nfds_t index = 0; index < count && !pending; ++index)
        pending = (fds[index].events & POLLPRI) && hasEvent(fds[index].fd);
    const timespec now{};
    return addEvents(fds, count, real::ppoll(fds, count, pending ? &now : timeout, mask));
}

int pollFor(pollfd* fds, nfds_t count, int milliseconds)
{
    const timespec timeout{milliseconds / 1000, milliseconds % 1000 * 1'000'000L};
    return pollOn(fds, count, milliseconds < 0 ? nullptr : &timeout, nullptr);
}

// The descriptors below `count` asked for exceptional conditions that have an event pending.
std::vector<int> withEvents(int count, const fd_set* exceptional)
{
    std::vector<int> found;
    for (int fd = 0; exceptional && fd < count; ++fd)
        if (FD_ISSET(fd, exceptional) && hasEvent(fd))
            found.push_back(fd);
    return found;
}

int addEvents(const std::vector<int>& found, fd_set* exceptional, int result)
{
    if (result < 0)
        return result;
    for (const int fd : found)
        if (!FD_ISSET(fd, exceptional)) {
            FD_SET(fd, exceptional);
            ++result;
        }
    return result;
}

template <typename Wait>
int selectOn(int count, fd_set* exceptional, Wait wait)
{
    const auto before = withEvents(count, exceptional);
    const fd_set asked = exceptional ? *exceptional : fd_set{};
    const int result = wait(!before.empty());
    if (result < 0 || !exceptional)
        return result;
    return addEvents(withEvents(count, &asked), exceptional, result);
}

void* mapFrom(void* address, size_t length, int protection, int flags, int fd, off_t offset)
{
    // Anonymous memory never is a node's. A sanitizer's runtime maps some while it starts,
    // before the environment that names the node directory can be read.
    if (fd < 0 || (flags & MAP_ANONYMOUS))
        return real::mmap(address, length, protection, flags, fd, offset);
    if (const auto file = nodes().file(fd))
        return file->mmap(address, length, protection, flags, offset);
    return real::mmap(address, length, protection, flags, fd, offset);
}

int statusOf(int directory, const char* path, struct stat* status, int result)
{
    if (result == 0 && status)
        nodes().patchStatus(directory, path, *status);
    return result;
}

int statusOfDescriptor(int fd, struct stat* status)
{
    if (const auto file = nodes().file(fd); file && status) {
        file->describe(*status);
        return 0;
    }
    return real::fstat(fd, status);
}

// v4l-utils tell a node's kind from sysfs. A stream with a descriptor of its own, as
// std::ifstream reads through it.
FILE* openStream(const char* path, const char* mode, FILE* (*next)(const char*, const char*))
{
    const auto text = nodes().sysfsText(path);
    if (!text)
        return next(path, mode);
    const int fd = memfd_create("uevent", MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    if (::write(fd, text->data(), text->size()) != ssize_t(text->size()) || lseek(fd, 0, SEEK_SET) != 0) {
        real::close(fd);
        return nullptr;
    }
    FILE* stream = fdopen(fd, "r");
    if (!stream)
        real::close(fd);
    return stream;
}

}  // namespace

#define ORVEX_EXPORT extern "C" __attribute__((visibility("default")))

// The variadic open family: a mode follows only when the call may create a file.
#define ORVEX_OPEN(name, directory, ...)                                        \
    ORVEX_EXPORT int name(__VA_ARGS__ const char* path, int flags, ...)         \
    {                                                                           \
        va_list arguments;                                                      \
        va_start(arguments, flags);                                             \
        const mode_t mode = modeArgument(flags, arguments);                     \
        va_end(arguments);                                                      \
        return openAt(directory, path, flags, mode);                            \
    }

ORVEX_OPEN(open, AT_FDCWD)
ORVEX_OPEN(open64, AT_FDCWD)
ORVEX_EXPORT int __open_2(const char* path, int flags) { return openAt(AT_FDCWD, path, flags, 0); }
ORVEX_EXPORT int __open64_2(const char* path, int flags) { return openAt(AT_FDCWD, path, flags, 0); }
ORVEX_OPEN(openat, directory, int directory,)
ORVEX_OPEN(openat64, directory, int directory,)
#undef ORVEX_OPEN

ORVEX_EXPORT int __openat_2(int directory, const char* path, int flags) { return openAt(directory, path, flags, 0); }
ORVEX_EXPORT int __openat64_2(int directory, const char* path, int flags) { return openAt(directory, path, flags, 0); }

ORVEX_EXPORT int close(int fd) { return closeDescriptor(fd); }

ORVEX_EXPORT int dup(int fd) { return duplicateInto(real::dup(fd), fd); }

ORVEX_EXPORT int dup2(int from, int to) { return duplicateOnto(real::dup2(from, to), from, to); }

ORVEX_EXPORT int dup3(int from, int to, int flags) { return duplicateOnto(real::dup3(from, to, flags), from, to); }

ORVEX_EXPORT int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return ioctlOn(fd, request, argument);
}

ORVEX_EXPORT ssize_t read(int fd, void* buffer, size_t count) { return readFrom(fd, buffer, count); }

ORVEX_EXPORT void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset)
{
    return mapFrom(address, length, protection, flags, fd, offset);
}

ORVEX_EXPORT void* mmap64(void* address, size_t length, int protection, int flags, int fd, off64_t offset)
{
    return mapFrom(address, length, protection, flags, fd, offset);
}

ORVEX_EXPORT int poll(pollfd* fds, nfds_t count, int timeout) { return pollFor(fds, count, timeout); }

ORVEX_EXPORT int __poll_chk(pollfd* fds, nfds_t count, int timeout, size_t) { return pollFor(fds, count, timeout); }

ORVEX_EXPORT int ppoll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask)
{
    return pollOn(fds, count, timeout, mask);
}

ORVEX_EXPORT int __ppoll_chk(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask, size_t)
{
    return pollOn(fds, count, timeout, mask);
}

ORVEX_EXPORT int select(int count, fd_set* reading, fd_set* writing, fd_set* exceptional, timeval* timeout)
{
    return selectOn(count, exceptional, [&](bool now) {
        timeval none{};
        return real::select(count, reading, writing, exceptional, now ? &none : timeout);
    });
}

ORVEX_EXPORT int pselect(int count, fd_set* reading, fd_set* writing, fd_set* exceptional, const timespec* timeout,
                         const sigset_t* mask)
{
    return selectOn(count, exceptional, [&](bool now) {
        const timespec none{};
        return real::pselect(count, reading, writing, exceptional, now ? &none : timeout, mask);
    });
}

ORVEX_EXPORT int stat(const char* path, struct stat* status) { return statusOf(AT_FDCWD, path, status, real::stat(path, status)); }

ORVEX_EXPORT int stat64(const char* path, struct stat64* status)
{
    auto* plain = reinterpret_cast<struct stat*>(status);
    return statusOf(AT_FDCWD, path, plain, real::stat(path, plain));
}

ORVEX_EXPORT int lstat(const char* path, struct stat* status) { return statusOf(AT_FDCWD, path, status, real::lstat(path, status)); }

ORVEX_EXPORT int lstat64(const char* path, struct stat64* status)
{
    auto* plain = reinterpret_cast<struct stat*>(status);
    return statusOf(AT_FDCWD, path, plain, real::lstat(path, plain));
}

ORVEX_EXPORT int fstat(int fd, struct stat* status) { return statusOfDescriptor(fd, status); }

ORVEX_EXPORT int fstat64(int fd, struct stat64* status) { return statusOfDescriptor(fd, reinterpret_cast<struct stat*>(status)); }

ORVEX_EXPORT int fstatat(int directory, const char* path, struct stat* status, int flags)
{
    return statusOf(directory, path, status, real::fstatat(directory, path, status, flags));
}

ORVEX_EXPORT int fstatat64(int directory, const char* path, struct stat64* status, int flags)
{
    auto* plain = reinterpret_cast<struct stat*>(status);
    return statusOf(directory, path, plain, real::fstatat(directory, path, plain, flags));
}

ORVEX_EXPORT FILE* fopen(const char* path, const char* mode) { return openStream(path, mode, real::fopen); }
ORVEX_EXPORT FILE* fopen64(const char* path, const char* mode) { return openStream(path, mode, real::fopen); }

// libv4l2 makes its calls to the driver through syscall().
ORVEX_EXPORT long syscall(long number, ...)
{
    va_list arguments;
    va_start(arguments, number);
    long a[6];
    for (long& argument : a)
        argument = va_arg(arguments, long);
    va_end(arguments);

    const auto fd = static_cast<int>(a[0]);
    switch (number) {
    case SYS_ioctl:
        return ioctlOn(fd, static_cast<unsigned long>(a[1]), reinterpret_cast<void*>(a[2]));
    case SYS_read:
        return readFrom(fd, reinterpret_cast<void*>(a[1]), static_cast<size_t>(a[2]));
    case SYS_close:
        return closeDescriptor(fd);
    case SYS_dup:
        return dup(fd);
    case SYS_open:
        return openAt(AT_FDCWD, reinterpret_cast<const char*>(a[0]), static_cast<int>(a[1]), static_cast<mode_t>(a[2]));
    case SYS_openat:
        return openAt(fd, reinterpret_cast<const char*>(a[1]), static_cast<int>(a[2]), static_cast<mode_t>(a[3]));
    case SYS_mmap:
        return reinterpret_cast<long>(mapFrom(reinterpret_cast<void*>(a[0]), static_cast<size_t>(a[1]), static_cast<int>(a[2]),
                                              static_cast<int>(a[3]), static_cast<int>(a[4]), static_cast<off_t>(a[5])));
    default:
        return real::syscall6(number, a[0], a[1], a[2], a[3], a[4], a[5]);
    }
}
