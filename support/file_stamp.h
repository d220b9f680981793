// support/file_stamp.h - what the file system says about one file, for the
// watch loops (kestrel view --watch, qiv --edit).
//
// A stamp is the file's existence, size, modification time in nanoseconds and
// inode number; a watch compares stamps, never contents. The time and size
// come through std::filesystem, which reads the same nanosecond times as
// stat(2) on Linux and Windows' own file times in the Windows build; the
// inode comes from stat(2) (0 on Windows, where it means nothing), so that a
// file replaced by a rename counts as changed even when size and time match.
#pragma once

#include <cstdint>
#include <string>

struct file_stamp {
    bool     exists = false;
    int64_t  size = 0;
    int64_t  mtime_ns = 0;
    uint64_t inode = 0;
    bool operator==(const file_stamp&) const = default;
};

// The stamp of a file now (exists false when it cannot be looked at).
file_stamp file_stamp_of(const std::string& path);
