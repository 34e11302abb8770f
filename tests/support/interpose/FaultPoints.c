// Fault points for the kill and full-disk tests, preloaded into quorvane-cli (LD_PRELOAD):
// the program runs unchanged, and the system calls it makes are watched.
//
// QV_STOP_AT="before|after:CALL:TEXT[:N]" stops the process (SIGSTOP) right before or right
// after the N-th call (default the first) of CALL (unlink, link, rename, fsync, fdatasync,
// write, pwrite) on a path that contains TEXT; the test then kills it at exactly that moment.
// QV_FULL_DIR="FOLDER" makes every write to a file in FOLDER fail as on a full disk (ENOSPC),
// while the files elsewhere take theirs.

#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static char stopWhen[16];
static char stopCall[32];
static char stopText[512];
static long stopCount = 1;
static long seen;
static int stopped;
static char fullDir[512];
static int configured;

static void configure(void)
{
    if (configured)
        return;
    configured = 1;
    const char* spec = getenv("QV_STOP_AT");
    if (spec && *spec) {
        char copy[600];
        snprintf(copy, sizeof copy, "%s", spec);
        char* save = NULL;
        const char* when = strtok_r(copy, ":", &save);
        const char* call = strtok_r(NULL, ":", &save);
        const char* text = strtok_r(NULL, ":", &save);
        const char* count = strtok_r(NULL, ":", &save);
        if (when && call && text) {
            snprintf(stopWhen, sizeof stopWhen, "%s", when);
            snprintf(stopCall, sizeof stopCall, "%s", call);
            snprintf(stopText, sizeof stopText, "%s", text);
            if (count)
                stopCount = atol(count);
        }
    }
    const char* full = getenv("QV_FULL_DIR");
    if (full && *full)
        snprintf(fullDir, sizeof fullDir, "%s/", full);
}

static void pathOfFd(int fd, char* out, size_t size)
{
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, out, size - 1);
    out[n > 0 ? n : 0] = 0;
}

// Whether this call on path is the one to stop at (counted before it runs).
static int matches(const char* call, const char* path)
{
    configure();
    if (stopped || !stopCall[0] || strcmp(call, stopCall) != 0 || !path || !strstr(path, stopText))
        return 0;
    return ++seen == stopCount;
}

static void stopHere(void)
{
    stopped = 1;
    raise(SIGSTOP);
}

static int inFullDir(int fd)
{
    configure();
    if (!fullDir[0])
        return 0;
    char path[4096];
    pathOfFd(fd, path, sizeof path);
    return strncmp(path, fullDir, strlen(fullDir)) == 0;
}

#define NEXT(name, ret, ...)                  \
    static ret (*next)(__VA_ARGS__) = NULL;   \
    if (!next)                                \
        next = (ret(*)(__VA_ARGS__))dlsym(RTLD_NEXT, name)

#define AROUND(call, path, expr)                                  \
    const int hit = matches(call, path);                          \
    if (hit && strcmp(stopWhen, "before") == 0)                   \
        stopHere();                                               \
    const int saved_result = (expr);                              \
    const int saved_errno = errno;                                \
    if (hit && strcmp(stopWhen, "after") == 0)                    \
        stopHere();                                               \
    errno = saved_errno;                                          \
    return saved_result

int unlink(const char* path)
{
    NEXT("unlink", int, const char*);
    AROUND("unlink", path, next(path));
}

int link(const char* from, const char* to)
{
    NEXT("link", int, const char*, const char*);
    AROUND("link", to, next(from, to));
}

int rename(const char* from, const char* to)
{
    NEXT("rename", int, const char*, const char*);
    AROUND("rename", to, next(from, to));
}

int fsync(int fd)
{
    NEXT("fsync", int, int);
    char path[4096];
    pathOfFd(fd, path, sizeof path);
    AROUND("fsync", path, next(fd));
}

int fdatasync(int fd)
{
    NEXT("fdatasync", int, int);
    char path[4096];
    pathOfFd(fd, path, sizeof path);
    AROUND("fdatasync", path, next(fd));
}

ssize_t write(int fd, const void* buffer, size_t size)
{
    NEXT("write", ssize_t, int, const void*, size_t);
    if (size > 0 && inFullDir(fd)) {
        errno = ENOSPC;
        return -1;
    }
    if (!stopCall[0] || strcmp(stopCall, "write") != 0)
        return next(fd, buffer, size);
    char path[4096];
    pathOfFd(fd, path, sizeof path);
    const int hit = matches("write", path);
    if (hit && strcmp(stopWhen, "before") == 0)
        stopHere();
    const ssize_t result = next(fd, buffer, size);
    const int saved = errno;
    if (hit && strcmp(stopWhen, "after") == 0)
        stopHere();
    errno = saved;
    return result;
}

ssize_t pwrite(int fd, const void* buffer, size_t size, off_t offset)
{
    NEXT("pwrite", ssize_t, int, const void*, size_t, off_t);
    if (size > 0 && inFullDir(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return next(fd, buffer, size, offset);
}

ssize_t pwrite64(int fd, const void* buffer, size_t size, off64_t offset)
{
    NEXT("pwrite64", ssize_t, int, const void*, size_t, off64_t);
    if (size > 0 && inFullDir(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return next(fd, buffer, size, offset);
}

ssize_t writev(int fd, const struct iovec* parts, int count)
{
    NEXT("writev", ssize_t, int, const struct iovec*, int);
    if (count > 0 && inFullDir(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return next(fd, parts, count);
}

int ftruncate(int fd, off_t size)
{
    NEXT("ftruncate", int, int, off_t);
    if (size > 0 && inFullDir(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return next(fd, size);
}

int fallocate(int fd, int mode, off_t offset, off_t size)
{
    NEXT("fallocate", int, int, int, off_t, off_t);
    if (inFullDir(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return next(fd, mode, offset, size);
}
