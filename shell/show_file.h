// shell/show_file.h - reading a show's score from show.toml in the data folder.
//
// The file is TOML (read with toml++); qiv-show(5) documents every key. The
// reader checks the whole file before anything plays and refuses it with one
// fatal error naming the file, the line and the key: an unknown key (with the
// nearest known one as a suggestion), a value of the wrong type, broken TOML,
// overlapping segments, a step naming a scene or layer file the data folder
// lacks, a rate of 0, an unknown effect or a parameter it does not have, and
// more scenes, layer sets or segments than the shell holds. Nothing of a
// refused file is kept: the score is built aside and handed over whole.
#pragma once

#include <string>
#include <string_view>

#include "shell/score.h"

constexpr const char* SHOW_FILE_NAME = "show.toml";

// Reads a show file's text into score; `name` is the file named in messages.
// With a data folder given, every scene and layer file the score names must
// be there; with "" that check is left out. Fatal error on any fault.
void show_file_parse(std::string_view text, const std::string& name, const std::string& data_dir,
                     show_score& score);
// Reads DIR/show.toml into SHOW when the folder has one (true), else leaves
// the built-in score in place (false). Fatal error on any fault.
bool show_file_load(const std::string& data_dir);
// The same into `score`, which is left alone without a file or on a fault.
bool show_file_load_into(const std::string& data_dir, show_score& score);
