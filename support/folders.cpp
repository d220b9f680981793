// support/folders.cpp - making the folders above an output path (see folders.h).
//
// The path is walked from its first component down, so that the folder that
// cannot be made is known by name: std::filesystem::create_directories only
// reports an error code, not which of the components failed, and a file in the
// way shows as "File exists" or "Not a directory". Only folders this call made
// are ever removed, and only as empty folders: removing one that is not empty
// fails and leaves it as it is.
#include "support/folders.h"

#include <filesystem>
#include <system_error>

#include "support/error.h"

namespace fs = std::filesystem;

// Removes the folders made, the last made first; a folder something was
// written into stays, and so do the ones above it (rmdir refuses them).
static void folders_remove(folders_made& made)
{
    std::error_code ec;
    for (auto it = made.made.rbegin(); it != made.made.rend(); ++it)
        fs::remove(*it, ec);   // an empty folder only: a folder with files in it is an error here
    made.made.clear();
}

// The fatal error for the folder dir, made for the output `named`: the
// message starts with the output's name, as every message about a file does,
// and names the folder when it is another.
[[noreturn]] static void folders_fail(folders_made& made, const std::string& named, const std::string& dir,
                                      const std::string& reason)
{
    folders_remove(made);
    fatal_raise(named + ": cannot create the folder" + (dir == named ? "" : " " + dir) + ": " + reason);
}

// Makes one folder whose parent exists; fatal when it cannot be made.
static void folders_make_one(folders_made& made, const std::string& named, const std::string& dir)
{
    std::error_code ec;
    fs::file_status st = fs::status(dir, ec);
    if (fs::exists(st)) {
        if (fs::is_directory(st))
            return;
        folders_fail(made, named, dir, "a file of that name is in the way");
    }
    if (!fs::create_directory(dir, ec)) {
        if (!ec)
            return;  // made at the same moment by another process
        folders_fail(made, named, dir, ec.message());
    }
    made.made.push_back(dir);
}

folders_made::~folders_made()
{
    if (!kept)
        folders_remove(*this);
}

// Makes dir and the folders above it for the output named.
static void folders_make_for(folders_made& made, const std::string& named, const std::string& dir)
{
    fs::path target = fs::path(dir).lexically_normal();
    fs::path step;
    for (const fs::path& part : target) {
        step /= part;
        if (part.empty() || part == "/" || part == "." || part == "..")
            continue;
        folders_make_one(made, named, step.string());
    }
}

void folders_make(folders_made& made, const std::string& dir)
{
    std::string named = dir;
    while (named.size() > 1 && named.back() == '/')
        named.pop_back();
    folders_make_for(made, named, dir);
}

void folders_make_parent(folders_made& made, const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    folders_make_for(made, path, fs::path(trimmed).parent_path().string());
}

void folders_keep(folders_made& made)
{
    made.kept = true;
}
