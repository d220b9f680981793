// support/file_stamp.cpp - stamps of watched files (see file_stamp.h).
//
// One look at the file per stamp: stat(2) gives size, time and inode at once
// on POSIX systems. The Windows build asks std::filesystem instead, for
// Windows' own file times (its stat keeps whole seconds only).
#include "support/file_stamp.h"

#ifdef _WIN32
#include <chrono>
#include <filesystem>
#include <system_error>
#else
#include <sys/stat.h>
#endif

file_stamp file_stamp_of(const std::string& path)
{
    file_stamp s;
#ifdef _WIN32
    std::error_code ec;
    auto when = std::filesystem::last_write_time(path, ec);
    if (ec)
        return s;
    s.exists = true;
    uintmax_t size = std::filesystem::file_size(path, ec);
    s.size = ec ? 0 : static_cast<int64_t>(size);
    s.mtime_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return s;
    s.exists = true;
    s.size = static_cast<int64_t>(st.st_size);
    s.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.inode = static_cast<uint64_t>(st.st_ino);
#endif
    return s;
}
