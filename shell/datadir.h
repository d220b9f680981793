// shell/datadir.h - where qiv finds its content.
//
// Three places, in this order: the folder given with --data DIR; else ./data
// when the working directory has one that holds the show (any of its layer
// files: an empty ./data does not hide the installed data); else
// the data installed with the program, share/qiv/data beside the bin folder
// the executable runs from. The installed place is found from the
// executable's own path (/proc/self/exe), not from a fixed prefix, so a
// package moved to another prefix, or unpacked anywhere, still finds its data.
// When none of them holds the show the error names every place looked at.
#pragma once

#include <string>
#include <vector>

// The places looked at, in order, for the given --data value ("" = none).
std::vector<std::string> datadir_candidates(const std::string& given);
// The data folder to load from; fatal_error naming every place looked at
// when none is a folder.
std::string datadir_find(const std::string& given);
