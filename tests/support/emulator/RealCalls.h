#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdio>

// The C library's own entry points, found past this library, for everything the emulated
// nodes do not answer themselves.
namespace capture::emulated::real {

int open(const char* path, int flags, mode_t mode);
int openat(int directory, const char* path, int flags, mode_t mode);
int close(int fd);
int dup(int fd);
int dup2(int from, int to);
int dup3(int from, int to, int flags);
int ioctl(int fd, unsigned long request, void* argument);
ssize_t read(int fd, void* buffer, std::size_t count);
void* mmap(void* address, std::size_t length, int protection, int flags, int fd, off_t offset);
int stat(const char* path, struct stat* buffer);
int lstat(const char* path, struct stat* buffer);
int fstat(int fd, struct stat* buffer);
int fstatat(int directory, const char* path, struct stat* buffer, int flags);
FILE* fopen(const char* path, const char* mode);
int ppoll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask);
int select(int count, fd_set* reading, fd_set* writing, fd_set* exceptional, timeval* timeout);
int pselect(int count, fd_set* reading, fd_set* writing, fd_set* exceptional, const timespec* timeout, const sigset_t* mask);
long syscall6(long number, long a, long b, long c, long d, long e, long f);

}  // namespace capture::emulated::real
