// support/folders.h - the missing folders above an output path.
//
// Every option that names an output file or folder makes the folders above it
// that do not exist yet, before the file itself is written (atomically, see
// atomic_file.h). The folders a command made are recorded in a folders_made;
// unless folders_keep() runs when the command has succeeded, they are removed
// again, deepest first and only while empty, so a command that fails leaves
// no trace of them. A folder that cannot be made (a file in the way, no
// permission) is a fatal error whose message starts with the output's path
// and names the folder, "out/x/a.kst: cannot create the folder out/x: a file
// of that name is in the way"; the folders made up to then are removed first.
#pragma once

#include <string>
#include <vector>

// The folders one command made, removed on destruction unless kept.
struct folders_made {
    std::vector<std::string> made;   // in the order made, outermost first
    bool kept = false;

    folders_made() = default;
    ~folders_made();
    folders_made(const folders_made&) = delete;
    folders_made& operator=(const folders_made&) = delete;
};

// Makes dir and every missing folder above it; fatal naming dir and the
// first one that cannot be made. An empty dir (the working folder) makes nothing.
void folders_make(folders_made& made, const std::string& dir);

// Makes the folders above the file or folder path names (a trailing "/" is
// not a folder of its own: "frames/" has only the working folder above it).
void folders_make_parent(folders_made& made, const std::string& path);

// The command succeeded: the folders it made stay.
void folders_keep(folders_made& made);
