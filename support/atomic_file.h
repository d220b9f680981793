// support/atomic_file.h - files replaced all at once.
//
// Writers (scene files, configuration files, dumps) build the new content in a
// temporary file in the same folder and rename it over the old name only when
// every byte has been written and flushed, so a failed write never destroys the
// previous file. The temporary file is ".atomic-" plus six random characters,
// so it fits in the folder whatever the length of the target's name. Any
// failure is a fatal error naming the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

class atomic_file {
public:
    // Creates the temporary file next to path; fatal when it cannot.
    explicit atomic_file(const std::string& path);
    // Abandons the temporary file unless commit() ran.
    ~atomic_file();
    atomic_file(const atomic_file&) = delete;
    atomic_file& operator=(const atomic_file&) = delete;

    void write(const void* data, size_t size);
    void write(const std::string& text) { write(text.data(), text.size()); }
    // Flushes, closes and renames over the target; fatal on any failure.
    void commit();
    // Flushes and closes the temporary file and hands it to the caller
    // (who renames it with atomic_rename_all or removes it); fatal on any
    // failure. For a device or pipe target, the same as commit() and "".
    std::string stage();
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string temp_;
    FILE*       file_ = nullptr;
};

// A set of files replaced all at once: every (staged file, target) pair is
// renamed into place, or none is. Each target that exists already is first
// given a second name (a hard link, ".atomic-old-" plus six random
// characters) so that a rename failing part way can put the old files back
// and take the new ones away; the second names go once all renames are done.
// Staged files are removed on failure. Fatal naming the target that failed.
void atomic_rename_all(const std::vector<std::pair<std::string, std::string>>& moves);
