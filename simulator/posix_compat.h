#pragma once
// What the simulated controller uses of POSIX, for its Windows build
// (MinGW-w64). A card there is an ordinary folder of the PC, which holds
// no symbolic or hard links: creating one fails as unsupported, and
// nothing reads as one. Files are opened in binary mode.

#ifdef _WIN32

#include <cerrno>
#include <cstring>
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/utime.h>
#include <time.h>
#include <unistd.h>

// Every file the simulator opens goes through ::open with O_NOFOLLOW, which
// Windows does not need; binary mode it does, or CR LF translation would
// change the archives.
#ifndef O_NOFOLLOW
#define O_NOFOLLOW O_BINARY
#endif
#ifndef S_ISLNK
#define S_ISLNK(mode) false
#endif

inline int lstat(const char* path, struct stat* st)
{
    return ::stat(path, st);
}

inline int mkdir(const char* path, int /*mode*/)
{
    return ::_mkdir(path);
}

inline ssize_t readlink(const char*, char*, size_t)
{
    errno = EINVAL;  // not a link: nothing is one
    return -1;
}

inline int symlink(const char*, const char*)
{
    errno = ENOSYS;
    return -1;
}

inline int link(const char*, const char*)
{
    errno = ENOSYS;
    return -1;
}

inline ssize_t pwrite(int fd, const void* data, size_t size, off64_t offset)
{
    if (::_lseeki64(fd, offset, SEEK_SET) < 0)
        return -1;
    return ::_write(fd, data, static_cast<unsigned int>(size));
}

inline int futimens(int fd, const struct timespec times[2])
{
    __utimbuf64 t{times[0].tv_sec, times[1].tv_sec};
    return ::_futime64(fd, &t);
}

// fnmatch with FNM_PERIOD, the one flag the shell's globbing uses: '*',
// '?' and bracket expressions ("[a-z]", "[!x]"), a leading '.' matched only
// by a '.' in the pattern.
#define FNM_NOMATCH 1
#define FNM_PERIOD 4

namespace tarvo::simulator::compat {
inline bool bracketMatches(const char*& pattern, char c)
{
    const char* p = pattern + 1;
    const bool negated = *p == '!' || *p == '^';
    if (negated)
        ++p;
    bool found = false;
    bool first = true;
    while (*p && (first || *p != ']')) {
        first = false;
        if (p[1] == '-' && p[2] && p[2] != ']') {
            found = found || (c >= p[0] && c <= p[2]);
            p += 3;
        } else {
            found = found || c == *p;
            ++p;
        }
    }
    if (*p != ']')
        return c == '[';  // no closing bracket: a plain '['
    pattern = p;
    return found != negated;
}

inline bool matches(const char* pattern, const char* name)
{
    for (; *pattern; ++pattern, ++name) {
        switch (*pattern) {
        case '*':
            for (const char* rest = name;; ++rest) {
                if (matches(pattern + 1, rest))
                    return true;
                if (!*rest)
                    return false;
            }
        case '?':
            if (!*name)
                return false;
            break;
        case '[':
            if (!*name || !bracketMatches(pattern, *name))
                return false;
            break;
        default:
            if (*pattern != *name)
                return false;
        }
    }
    return !*name;
}
}  // namespace tarvo::simulator::compat

inline int fnmatch(const char* pattern, const char* name, int flags)
{
    if ((flags & FNM_PERIOD) && name[0] == '.' && pattern[0] != '.')
        return FNM_NOMATCH;
    return tarvo::simulator::compat::matches(pattern, name) ? 0 : FNM_NOMATCH;
}

#else
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
