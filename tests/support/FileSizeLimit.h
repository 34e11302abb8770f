#pragma once

// Windows has no limit of the kind: the tests that fill the disk this way are skipped there.
#ifdef _WIN32
#define SKIP_WITHOUT_FILE_SIZE_LIMIT()                                                                                 \
    GTEST_SKIP() << "Windows has no per-process file size limit (RLIMIT_FSIZE) to make the disk full at a chosen size"
#else
#define SKIP_WITHOUT_FILE_SIZE_LIMIT() static_cast<void>(0)

#include <csignal>
#include <sys/resource.h>

// Limits the size of files this process may write, for as long as it lives: a write beyond it
// fails as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
};
#endif
