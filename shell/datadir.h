// shell/datadir.h - where qiv finds its content.
//
// Four places, in this order: the folder given with --data DIR; else ./data
// when the working directory has one that holds the show (any of its layer
// files: an empty ./data does not hide the installed data); else data/ in
// the executable's own folder, where the self-contained archive keeps it;
// else the data installed with the program, share/qiv/data beside the bin
// folder the executable runs from. The last two are found from the
// executable's own path (/proc/self/exe), not from a fixed prefix, so a
// package moved to another prefix, or an archive unpacked anywhere, still
// finds its data, and one build serves both the packages and the archive.
// The same rule holds for the two: a folder counts only when it holds the
// show. When none of them does, the error names every place looked at.
#pragma once

#include <string>
#include <vector>

// The places looked at, in order, for the given --data value ("" = none).
std::vector<std::string> datadir_candidates(const std::string& given);
// The data folder to load from; fatal_error naming every place looked at
// when none is a folder.
std::string datadir_find(const std::string& given);
