// tests/mkdata/mkdata_fixture.h - the generated data set the generator tests look at.
//
// The data set is the one tests/common/generated_data.h makes once per build
// of qiv-mkdata and shares between test executables.
//
// A small reader of the layer file format sits here too: it reads what the
// generator writes strictly (a missing line or a short key line is a test
// failure, not a zero), so the tests see the structure the generator meant.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The shared data folder (made on first use); fails the calling test when the
// generator fails.
std::string mkdata_shared_dir();

// The fifteen layer stems and six scene stems in the shell's loading order.
extern const std::vector<std::string> MKDATA_LAYER_STEMS;
extern const std::vector<std::string> MKDATA_SCENE_STEMS;

struct mkdata_key {
    int   frame;
    float x, y;
    int   mode;
    float angle, w, h, r, g, b, a;
};

struct mkdata_layer {
    std::string             texture, info1, info2;
    int                     blend = 0;
    std::vector<mkdata_key> keys;
};

struct mkdata_ife {
    int                       info = 0;
    int                       comments = 0;   // comment lines seen
    std::vector<mkdata_layer> layers;
};

// Reads a layer file; error is set (and the result partial) on a format fault.
mkdata_ife mkdata_read_ife(const std::string& path, std::string& error);

// The file a texture name reads: the name with its last three characters
// replaced by "raw".
std::string mkdata_raw_name(const std::string& name);

// Decodes an Ogg Vorbis file to mono float samples; rate and channels out.
std::vector<float> mkdata_decode_ogg(const std::string& path, long& rate, int& channels);
