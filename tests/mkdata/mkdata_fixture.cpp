// tests/mkdata/mkdata_fixture.cpp - shared data set, strict layer reader, Ogg decoder.
#include "mkdata_fixture.h"

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "generated_data.h"
#include "process.h"

namespace fs = std::filesystem;

const std::vector<std::string> MKDATA_LAYER_STEMS = {
    "loading", "meeting", "crestpre", "part2", "blackfade", "starmap", "portrait", "drumcrash",
    "hatter", "crestfade", "beauty", "planet", "kekbkg", "keret", "greets"};
const std::vector<std::string> MKDATA_SCENE_STEMS = {"crest", "part2", "hipoly", "earth", "lepke", "qorv"};

std::string mkdata_shared_dir()
{
    return generated_data_dir();
}

// --- strict layer reader ------------------------------------------------------------
namespace {
struct strict_reader {
    std::ifstream in;
    int           comments = 0;
    bool next(std::string& value)
    {
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line[0] == '#') {
                ++comments;
                continue;
            }
            size_t a = line.find_first_not_of(" \t\r\n"), b = line.find_last_not_of(" \t\r\n");
            value = a == std::string::npos ? "" : line.substr(a, b - a + 1);
            return true;
        }
        return false;
    }
    bool integer(int& v)
    {
        std::string s;
        if (!next(s))
            return false;
        try {
            size_t used = 0;
            v = std::stoi(s, &used);
            return used == s.size();
        } catch (...) {
            return false;
        }
    }
};
}  // namespace

mkdata_ife mkdata_read_ife(const std::string& path, std::string& error)
{
    mkdata_ife f;
    strict_reader rd{std::ifstream(path)};
    int count = 0;
    if (!rd.in || !rd.integer(count) || !rd.integer(f.info) || count < 0) {
        error = path + ": bad header";
        return f;
    }
    for (int i = 0; i < count; ++i) {
        mkdata_layer l;
        int keys = 0;
        if (!rd.next(l.texture) || !rd.next(l.info1) || !rd.next(l.info2) || !rd.integer(keys) ||
            !rd.integer(l.blend) || keys < 1) {
            error = path + ": bad layer " + std::to_string(i);
            return f;
        }
        for (int k = 0; k < keys; ++k) {
            std::string line;
            if (!rd.next(line)) {
                error = path + ": file ends in the keys of layer " + std::to_string(i);
                return f;
            }
            std::istringstream s(line);
            mkdata_key key{};
            std::string extra;
            if (!(s >> key.frame >> key.x >> key.y >> key.mode >> key.angle >> key.w >> key.h >> key.r >> key.g >>
                  key.b >> key.a) || (s >> extra)) {
                error = path + ": bad key line '" + line + "'";
                return f;
            }
            l.keys.push_back(key);
        }
        f.layers.push_back(l);
    }
    std::string rest;
    if (rd.next(rest))
        error = path + ": text after the last layer";
    f.comments = rd.comments;
    return f;
}

std::string mkdata_raw_name(const std::string& name)
{
    return name.size() < 3 ? "raw" : name.substr(0, name.size() - 3) + "raw";
}

std::vector<float> mkdata_decode_ogg(const std::string& path, long& rate, int& channels)
{
    std::vector<float> out;
    OggVorbis_File vf;
    rate = 0;
    channels = 0;
    if (ov_fopen(path.c_str(), &vf) != 0)
        return out;
    vorbis_info* vi = ov_info(&vf, -1);
    rate = vi->rate;
    channels = vi->channels;
    int section = 0;
    for (;;) {
        float** pcm = nullptr;
        long n = ov_read_float(&vf, &pcm, 4096, &section);
        if (n <= 0)
            break;
        for (long i = 0; i < n; ++i) {
            float s = 0;
            for (int c = 0; c < channels; ++c)
                s += pcm[c][i];
            out.push_back(s / channels);
        }
    }
    ov_clear(&vf);
    return out;
}
