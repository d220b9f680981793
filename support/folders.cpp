// support/folders.cpp - making the folders above an output path (see folders.h).
//
// The path is walked from its first component down, so that the folder that
// cannot be made is known by name: std::filesystem::create_directories only
// reports an error code, not which of the components failed, and a file in the
// way shows as "File exists" or "Not a directory". Only folders this call made
// are ever removed, and only with rmdir, which refuses a folder that is not
// empty.
#include "support/folders.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "support/error.h"

namespace fs = std::filesystem;

// Removes the folders made, the last made first; a folder something was
// written into stays, and so do the ones above it (rmdir refuses them).
static void folders_remove(folders_made& made)
{
    for (auto it = made.made.rbegin(); it != made.made.rend(); ++it)
        rmdir(it->c_str());
    made.made.clear();
}

// Makes one folder whose parent exists; fatal naming it when it cannot be made.
static void folders_make_one(folders_made& made, const std::string& dir)
{
    struct stat st{};
    if (stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return;
        folders_remove(made);
        fatal_raise(dir + ": cannot create the folder: a file of that name is in the way");
    }
    if (mkdir(dir.c_str(), 0777) != 0) {
        if (errno == EEXIST && stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            return;  // made at the same moment by another process
        std::string reason = errno == ENOTDIR ? "a file above it is in the way" : std::strerror(errno);
        folders_remove(made);
        fatal_raise(dir + ": cannot create the folder: " + reason);
    }
    made.made.push_back(dir);
}

folders_made::~folders_made()
{
    if (!kept)
        folders_remove(*this);
}

void folders_make(folders_made& made, const std::string& dir)
{
    fs::path target = fs::path(dir).lexically_normal();
    fs::path step;
    for (const fs::path& part : target) {
        step /= part;
        if (part.empty() || part == "/" || part == "." || part == "..")
            continue;
        folders_make_one(made, step.string());
    }
}

void folders_make_parent(folders_made& made, const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    folders_make(made, fs::path(trimmed).parent_path().string());
}

void folders_keep(folders_made& made)
{
    made.kept = true;
}
