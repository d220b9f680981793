// support/file_stamp.h - what the file system says about one file, for the
// watch loops (kestrel view --watch, qiv --edit).
//
// A stamp is the file's existence, size, modification time in nanoseconds and
// inode number; a watch compares stamps, never contents. On Linux all four
// come from one stat(2); the Windows build reads Windows' own file times
// through std::filesystem and leaves the inode 0, where it means nothing.
// The inode makes a file replaced by a rename count as changed even when
// size and time match.
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
