// support/file_stamp.cpp - stamps of watched files (see file_stamp.h).
#include "support/file_stamp.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <system_error>

file_stamp file_stamp_of(const std::string& path)
{
    std::error_code ec;
    file_stamp s;
    auto when = std::filesystem::last_write_time(path, ec);
    if (ec)
        return s;
    s.exists = true;
    uintmax_t size = std::filesystem::file_size(path, ec);
    s.size = ec ? 0 : static_cast<int64_t>(size);
    s.mtime_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        s.inode = static_cast<uint64_t>(st.st_ino);
    return s;
}
