#include "RealCalls.h"

#include <dlfcn.h>

namespace capture::emulated::real {
namespace {

template <typename Function>
Function next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

#define ORVEX_REAL(name, type) static const auto function = next<type>(name)

int open(const char* path, int flags, mode_t mode)
{
    ORVEX_REAL("open64", int (*)(const char*, int, ...));
    return function(path, flags, mode);
}

int openat(int directory, const char* path, int flags, mode_t mode)
{
    ORVEX_REAL("openat64", int (*)(int, const char*, int, ...));
    return function(directory, path, flags, mode);
}

int close(int fd)
{
    ORVEX_REAL("close", int (*)(int));
    return function(fd);
}

int dup(int fd)
{
    ORVEX_REAL("dup", int (*)(int));
    return function(fd);
}

int dup2(int from, int to)
{
    ORVEX_REAL("dup2", int (*)(int, int));
    return function(from, to);
}

int dup3(int from, int to, int flags)
{
    ORVEX_REAL("dup3", int (*)(int, int, int));
    return function(from, to, flags);
}

int ioctl(int fd, unsigned long request, void* argument)
{
    ORVEX_REAL("ioctl", int (*)(int, unsigned long, ...));
    return function(fd, request, argument);
}

ssize_t read(int fd, void* buffer, std::size_t count)
{
    ORVEX_REAL("read", ssize_t (*)(int, void*, std::size_t));
    return function(fd, buffer, count);
}

void* mmap(void* address, std::size_t length, int protection, int flags, int fd, off_t offset)
{
    ORVEX_REAL("mmap64", void* (*)(void*, std::size_t, int, int, int, off_t));
    return function(address, length, protection, flags, fd, offset);
}

int stat(const char* path, struct stat* buffer)
{
    ORVEX_REAL("stat64", int (*)(const char*, struct stat*));
    return function(path, buffer);
}

int lstat(const char* path, struct stat* buffer)
{
    ORVEX_REAL("lstat64", int (*)(const char*, struct stat*));
    return function(path, buffer);
}

int fstat(int fd, struct stat* buffer)
{
    ORVEX_REAL("fstat64", int (*)(int, struct stat*));
    return function(fd, buffer);
}

int fstatat(int directory, const char* path, struct stat* buffer, int flags)
{
    ORVEX_REAL("fstatat64", int (*)(int, const char*, struct stat*, int));
    return function(directory, path, buffer, flags);
}

FILE* fopen(const char* path, const char* mode)
{
    ORVEX_REAL("fopen64", FILE* (*)(const char*, const char*));
    return function(path, mode);
}

int ppoll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask)
{
    ORVEX_REAL("ppoll", int (*)(pollfd*, nfds_t, const timespec*, const sigset_t*));
    return function(fds, count, timeout, mask);
}

int select(int count, fd_set* reading, fd_set* writing, fd_set* exceptional, timeval* timeout)
{
    ORVEX_REAL("select", int (*)(int, fd_set*, fd_set*, fd_set*, timeval*));
    return function(count, reading, writing, exceptional, timeout);
}

int pselect(int count, fd_set* reading, fd_set* writing, fd_set* exceptional, const timespec* timeout, const sigset_t* mask)
{
    ORVEX_REAL("pselect", int (*)(int, fd_set*, fd_set*, fd_set*, const timespec*, const sigset_t*));
    return function(count, reading, writing, exceptional, timeout, mask);
}

long syscall6(long number, long a, long b, long c, long d, long e, long f)
{
    ORVEX_REAL("syscall", long (*)(long, ...));
    return function(number, a, b, c, d, e, f);
}

#undef ORVEX_REAL

}  // namespace capture::emulated::real
