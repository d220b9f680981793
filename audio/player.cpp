// audio/player.cpp - the music list and wave-sample player (see player.h).
//
// A list of up to 32 music tracks, played one at a time as streams of the
// sound library (audio/soundlib.h), and a list of up to 128 short waves fired
// by index or by file name. The play mode decides what the end of a track
// does: 0 nothing, 1 the same track again, 2 another track at random. Once the
// library failed to start, the no-sound flag makes the operations return at
// once.
//
// The end of a track is signalled on the sound library's own thread, and the
// handler there starts the next track, so the module's globals are shared
// between two threads: every operation holds bass_mutex while it reads or
// writes them (public operations lock, internal bass_* helpers expect the lock
// held). BASSDONE releases the library without holding it, because releasing
// waits for the end-of-track thread, which may be waiting for the lock.
//
// Behaviour beyond the plain list operations:
//   - adds beyond the list sizes are refused with -1 and write nothing;
//   - the end handler only acts for the stream that is current; the end of a
//     stream that has since been replaced starts nothing;
//   - a new track frees the previous stream even when it had already ended
//     (so looping a track does not keep every past stream alive);
//   - mode 2 tries every other track at most once, in random order, then
//     gives up (with one track, that track once);
//   - waves are found in a directory by "*.wav" in any letter case, and the
//     directory and the file name are joined with "/";
//   - a track can start part-way in (bass_play_music_from), for a show
//     started in the middle.
#include "audio/player.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "audio/soundlib.h"
#include "support/mem.h"
#include "support/random.h"

// --- types --------------------------------------------------------------------
struct bass_eax_preset {
    float vol;    // reverb volume 0..1
    float decay;  // decay time in seconds
    float damp;   // damping
};

// --- module state -------------------------------------------------------------
BASSENTRY BASSMUSICS[BASS_MAX_MUSICS];
BASSENTRY BASSWAVES[BASS_MAX_WAVES];
uint32_t  BASSNUMBEROFMUSICS = 0xFFFFFFFF;
uint32_t  BASSNUMBEROFWAVES  = 0xFFFFFFFF;
uint32_t  BASSCURRENTMUSIC   = 0xFFFFFFFF;
uint32_t  BASSPLAYEDMUSIC    = 0;
uint32_t  BASSPLAYMODE       = 1;
bool      BASSNOSOUND        = false;

static std::mutex bass_mutex;  // guards every global above

// The 26 EAX 2.0 environment presets, generic (0) to psychotic (25).
static const bass_eax_preset bass_eax_presets[26] = {
    {0.5f, 1.493f, 0.5f},    {0.25f, 0.1f, 0.0f},     {0.417f, 0.4f, 0.666f},  {0.653f, 1.499f, 0.166f},
    {0.208f, 0.478f, 0.0f},  {0.5f, 2.309f, 0.888f},  {0.403f, 4.279f, 0.5f},  {0.5f, 3.961f, 0.5f},
    {0.5f, 2.886f, 1.304f},  {0.361f, 7.284f, 0.332f}, {0.5f, 10.0f, 0.3f},    {0.153f, 0.259f, 2.0f},
    {0.361f, 1.493f, 0.0f},  {0.444f, 2.697f, 0.638f}, {0.25f, 1.752f, 0.776f}, {0.111f, 3.145f, 0.472f},
    {0.111f, 2.767f, 0.224f}, {0.194f, 7.841f, 0.472f}, {1.0f, 1.499f, 0.5f},   {0.097f, 2.767f, 0.224f},
    {0.208f, 1.652f, 1.5f},  {0.652f, 2.886f, 0.25f},  {1.0f, 1.499f, 0.0f},    {0.875f, 8.392f, 1.388f},
    {0.139f, 17.234f, 0.666f}, {0.486f, 7.563f, 0.806f},
};

constexpr uint32_t BASS_NONE = 0xFFFFFFFF;  // empty list / no track
constexpr size_t   BASS_MAX_TEXT = 255;     // texts are cut at 255 characters

// --- internal helpers (bass_mutex held) -----------------------------------------
static char* bass_copy_text(const char* text, size_t len)
{
    char* copy = static_cast<char*>(mem_alloc(len + 1, "bass file name", false));
    std::memcpy(copy, text, len);
    copy[len] = '\0';
    return copy;
}

// Frees the name a file entry owns (memory entries point at the caller's data).
static void bass_release_name(BASSENTRY& e)
{
    if (!e.FROM && e.FNAME != nullptr)
        mem_release(e.FNAME);
    e.FNAME = nullptr;
}

static void bass_clear_lists()
{
    for (BASSENTRY& e : BASSMUSICS) {
        bass_release_name(e);
        e = BASSENTRY{};
    }
    for (BASSENTRY& e : BASSWAVES) {
        bass_release_name(e);
        e = BASSENTRY{};
    }
}

static bool bass_in_list(uint32_t index, uint32_t last)
{
    return last != BASS_NONE && index <= last;
}

static bool bass_active(uint32_t handle)
{
    return static_cast<int16_t>(soundlib_channel_is_active(handle)) > 0;
}

static int32_t bass_add_music(bool from, char* fname, uint32_t size)
{
    uint32_t i = BASSNUMBEROFMUSICS + 1;  // -1 wraps to 0
    if (i >= BASS_MAX_MUSICS) {
        if (!from && fname != nullptr)
            mem_release(fname);
        return -1;
    }
    BASSMUSICS[i] = BASSENTRY{from, fname, 0, size};
    BASSNUMBEROFMUSICS = i;
    return static_cast<int32_t>(i);
}

// Where a stream starts `ms` in: a byte position inside it, or false when the
// track is over by then (mode 1 wraps through its repeats instead).
static bool bass_start_position(uint32_t stream, uint32_t ms, uint32_t& pos)
{
    uint32_t length = soundlib_channel_get_length(stream);
    pos = soundlib_channel_seconds2bytes(stream, ms / 1000.0);
    if (length == SOUNDLIB_ERROR || length == 0 || pos == SOUNDLIB_ERROR)
        return false;
    if (pos < length)
        return true;
    if (BASSPLAYMODE != 1)
        return false;
    pos %= length;
    return true;
}

static bool bass_play_music(uint32_t music, uint32_t ms = 0)
{
    if (!bass_in_list(music, BASSNUMBEROFMUSICS))
        return false;
    if (bass_active(BASSPLAYEDMUSIC))
        soundlib_stop();
    if (BASSPLAYEDMUSIC != 0)
        soundlib_stream_free(BASSPLAYEDMUSIC);
    soundlib_start();
    const BASSENTRY& e = BASSMUSICS[music];
    BASSPLAYEDMUSIC = soundlib_stream_create_file(e.FROM, e.FNAME, 0, e.SIZE, 0);
    if (BASSPLAYEDMUSIC == 0)
        return false;
    soundlib_channel_set_sync(BASSPLAYEDMUSIC, SOUNDLIB_SYNC_END, 0, BASSLOOPSYNC, 0);
    BASSCURRENTMUSIC = music;
    if (ms == 0) {
        soundlib_stream_play(BASSPLAYEDMUSIC, true, 0);
        return true;
    }
    uint32_t pos = 0;
    if (!bass_start_position(BASSPLAYEDMUSIC, ms, pos))
        return false;  // over by then: the stream stays silent
    soundlib_channel_set_position(BASSPLAYEDMUSIC, pos);
    soundlib_stream_play(BASSPLAYEDMUSIC, false, 0);
    return true;
}

// Mode 2: every other track at most once, in random order; the current one
// only when it is the whole list.
static void bass_play_another()
{
    if (BASSNUMBEROFMUSICS == BASS_NONE)
        return;
    std::vector<uint32_t> tries;
    for (uint32_t i = 0; i <= BASSNUMBEROFMUSICS; i++)
        if (i != BASSCURRENTMUSIC)
            tries.push_back(i);
    if (tries.empty())
        tries.push_back(BASSCURRENTMUSIC);
    while (!tries.empty()) {
        uint32_t k = random_int(static_cast<uint32_t>(tries.size()));
        uint32_t music = tries[k];
        tries.erase(tries.begin() + k);
        if (bass_play_music(music))
            return;
    }
}

static uint32_t bass_add_wave(const char* name)
{
    uint32_t i = BASSNUMBEROFWAVES + 1;
    if (i >= BASS_MAX_WAVES)
        return BASS_NONE;
    BASSENTRY& e = BASSWAVES[i];
    e = BASSENTRY{};
    e.FNAME = name != nullptr ? bass_copy_text(name, std::strlen(name)) : nullptr;
    e.SAMPLE = soundlib_sample_load(false, name, 0, 0, 65535, 0);
    BASSNUMBEROFWAVES = i;
    return i;
}

static bool bass_play_wave(uint32_t id)
{
    if (!bass_in_list(id, BASSNUMBEROFWAVES))
        return false;
    uint32_t sample = BASSWAVES[id].SAMPLE;
    if (bass_active(sample))
        soundlib_sample_stop(sample);
    return soundlib_sample_play(sample) != 0;
}

static char bass_ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

static bool bass_same_ascii_nocase(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; a++, b++)
        if (bass_ascii_lower(*a) != bass_ascii_lower(*b))
            return false;
    return *a == *b;
}

// The file-name part of a path: after the last '\', '/' or ':'.
static const char* bass_file_part(const char* path)
{
    if (path == nullptr)
        return "";
    const char* part = path;
    for (const char* p = path; *p != '\0'; p++)
        if (*p == '\\' || *p == '/' || *p == ':')
            part = p + 1;
    return part;
}

static bool bass_is_wav_name(const std::string& name)
{
    return name.size() >= 4 && bass_same_ascii_nocase(name.c_str() + name.size() - 4, ".wav");
}

// --- public functions ---------------------------------------------------------
std::unique_lock<std::mutex> bass_lock()
{
    return std::unique_lock<std::mutex>(bass_mutex);
}

void bass_reset()
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    bass_clear_lists();
    BASSNUMBEROFMUSICS = BASS_NONE;
    BASSNUMBEROFWAVES = BASS_NONE;
    BASSCURRENTMUSIC = BASS_NONE;
    BASSPLAYEDMUSIC = 0;
    BASSPLAYMODE = 1;
    BASSNOSOUND = false;
}

int32_t BASSINIT(int32_t device, void* window)
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (BASSNOSOUND)
        return 2;
    bass_clear_lists();
    if (soundlib_get_version() != 0x00050001) {
        BASSNOSOUND = true;
        return 1;
    }
    if (!soundlib_init(device & 0xFFFF, 44100, SOUNDLIB_DEVICE_MONO, window)) {
        BASSNOSOUND = true;
        return 2;
    }
    soundlib_start();
    return 0;
}

void BASSDONE()
{
    {
        std::lock_guard<std::mutex> lock(bass_mutex);
        if (BASSNOSOUND)
            return;
    }
    soundlib_stop();
    soundlib_free();
}

int32_t BASSADDMUSIC(const std::string& name)
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (BASSNOSOUND)
        return -1;
    size_t len = std::min(name.size(), BASS_MAX_TEXT);
    return bass_add_music(false, len > 0 ? bass_copy_text(name.data(), len) : nullptr, 0);
}

int32_t BASSADDMUSICFROMMEM(const void* data, uint32_t size)
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (BASSNOSOUND)
        return -1;
    return bass_add_music(true, static_cast<char*>(const_cast<void*>(data)), size);
}

const char* BASSGETMUSICNAME(uint32_t nr)
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (BASSNOSOUND || !bass_in_list(nr, BASSNUMBEROFMUSICS))
        return nullptr;
    return BASSMUSICS[nr].FNAME;
}

bool BASSPLAYMUSIC(uint32_t music)
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (BASSNOSOUND)
        return false;
    return bass_play_music(music);
}

uint32_t BASSMUSICPOSITION()
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    return soundlib_channel_get_position(BASSPLAYEDMUSIC);
}

uint32_t BASSGETLEVEL()
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    return soundlib_channel_get_level(BASSPLAYEDMUSIC);
}

void BASSFREEMUSICLIST()
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (BASSNOSOUND || BASSNUMBEROFMUSICS == BASS_NONE)
        return;
    for (uint32_t i = 0; i <= BASSNUMBEROFMUSICS; i++) {
        bass_release_name(BASSMUSICS[i]);
        BASSMUSICS[i].SAMPLE = 0;
    }
    BASSNUMBEROFMUSICS = BASS_NONE;
}

uint32_t BASSADDWAVE(const char* name)
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (BASSNOSOUND)
        return BASS_NONE;
    return bass_add_wave(name);
}

void BASSADDWAVESFROMDIR(const char* name)
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (BASSNOSOUND || name == nullptr)
        return;
    std::string     dir = std::string(name) + "/";
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string file = it->path().filename().string();
        if (!bass_is_wav_name(file))
            continue;
        std::string path = (dir + file).substr(0, BASS_MAX_TEXT);
        bass_add_wave(path.c_str());
    }
}

bool BASSPLAYWAVEID(uint32_t id)
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (BASSNOSOUND)
        return false;
    return bass_play_wave(id);
}

bool BASSPLAYWAVENAME(const char* name)
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (BASSNOSOUND || name == nullptr || BASSNUMBEROFWAVES == BASS_NONE)
        return false;
    for (uint32_t i = 0; i <= BASSNUMBEROFWAVES; i++)
        if (bass_same_ascii_nocase(bass_file_part(BASSWAVES[i].FNAME), name))
            return bass_play_wave(i);
    return false;
}

void BASSSETPLAYMODE(int32_t mode)
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (BASSNOSOUND)
        return;
    BASSPLAYMODE = static_cast<uint32_t>(mode);
}

bool bass_play_music_from(uint32_t music, uint32_t ms)
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (BASSNOSOUND)
        return false;
    return bass_play_music(music, ms);
}

void BASSLOOPSYNC(uint32_t, uint32_t channel, uint32_t, uint32_t)
{
    std::lock_guard<std::mutex> lock(bass_mutex);
    if (channel != BASSPLAYEDMUSIC)
        return;  // a stream that has been replaced since
    if (BASSPLAYMODE == 1)
        bass_play_music(BASSCURRENTMUSIC);
    else if (BASSPLAYMODE == 2)
        bass_play_another();
}

void BASS_EAXPRESET(int16_t env)
{
    if (env < 0 || env > 25) {
        soundlib_set_eax_parameters(-1, 0.0f, -1.0f, -1.0f);
        return;
    }
    const bass_eax_preset& p = bass_eax_presets[env];
    soundlib_set_eax_parameters(env, p.vol, p.decay, p.damp);
}
