// audio/soundlib.cpp - the sound library over a platform's sound device (see soundlib.h).
//
// The backend (sound_device.h: SDL2_mixer on Linux, waveOut on Windows) opens
// the device and decodes; the mixing of our own channels is done here, in
// the device's callback, because the library's model does not fit a mixer's
// channels: streams must report their position and level and must tell a
// natural end from a stop, and a sample may sound thousands of times at once.
// Every stream and sample is decoded whole into the output format when it is
// created, so the callback only copies and sums (16-bit, clipped) and never
// waits on the disk.
//
// Threads and locks. Three threads meet here: the callers, the device's
// thread (running the mix, under SDL's device lock on Linux) and our sync
// thread. One mutex, soundlib_mutex, guards all module state. The device's
// thread takes it inside the backend's lock, so the other threads must never
// call a backend function that takes that lock (open, close, decode) while
// holding soundlib_mutex. When a stream reaches its end, the mix only queues
// one event per end sync; the sync thread pops it and calls the procedure
// without holding the mutex, so the procedure may call back into this module
// freely.
//
// Known limits: a stream is held decoded in memory (about 5 MB per minute of
// mono 44.1 kHz), and the last stream decoded is kept for a quick restart;
// reverb parameters are only recorded.
#include "audio/soundlib.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/sound_device.h"

// --- types --------------------------------------------------------------------
enum class soundlib_kind { stream, sample, play };

using soundlib_pcm = std::shared_ptr<const std::vector<uint8_t>>;

struct soundlib_sync {
    uint32_t           handle;  // the sync's own handle
    soundlib_sync_proc proc;    // called at each end of the stream
    uint32_t           user;    // handed to proc
};

struct soundlib_object {
    soundlib_kind              kind = soundlib_kind::stream;
    soundlib_pcm               pcm;        // decoded data in the output format (plays share their sample's)
    uint32_t                   pos = 0;    // bytes mixed so far (streams, plays)
    bool                       playing = false;
    uint32_t                   level = 0;  // peak of the last mixed block, right << 16 | left
    uint32_t                   max_plays = 0;  // samples: simultaneous plays allowed
    uint32_t                   plays = 0;      // samples: plays sounding now
    uint32_t                   sample = 0;     // plays: the sample played
    std::vector<soundlib_sync> syncs;          // streams: end syncs
};

struct soundlib_event {
    soundlib_sync_proc proc;
    uint32_t           sync;     // sync handle
    uint32_t           channel;  // stream handle
    uint32_t           user;
};

struct soundlib_eax {
    int32_t env   = 0;
    float   vol   = 0.0f;  // no reverb until asked for
    float   decay = 1.493f;
    float   damp  = 0.5f;
};

// --- module state -------------------------------------------------------------
static std::mutex                          soundlib_mutex;
static std::condition_variable             soundlib_wake;          // events queued or shutdown
static bool                                soundlib_open = false;  // output opened by soundlib_init
static bool                                soundlib_running = false;  // output started
static int                                 soundlib_channels = 1;     // output channels
static int                                 soundlib_frequency = 44100;  // output samples per second
static uint32_t                            soundlib_next_handle = 1;
static uint64_t                            soundlib_generation = 0;   // bumped by init/free; ends old sync threads
static std::map<uint32_t, soundlib_object> soundlib_objects;
static std::deque<soundlib_event>          soundlib_events;
static std::thread                         soundlib_sync_thread;
static soundlib_eax                        soundlib_eax_state;
static std::mutex                          soundlib_cache_mutex;   // guards the two below only
static std::vector<uint8_t>                soundlib_cache_source;  // encoded bytes of the last stream decoded
static soundlib_pcm                        soundlib_cache_pcm;     // and what they decoded to

// --- internal helpers (call with soundlib_mutex held) ---------------------------
static uint32_t soundlib_new_handle()
{
    uint32_t h = soundlib_next_handle++;
    if (soundlib_next_handle == SOUNDLIB_ERROR)
        soundlib_next_handle = 1;
    return h;
}

static soundlib_object soundlib_make(soundlib_kind kind, soundlib_pcm pcm)
{
    soundlib_object obj;
    obj.kind = kind;
    obj.pcm = std::move(pcm);
    return obj;
}

static soundlib_object* soundlib_find(uint32_t handle, soundlib_kind kind)
{
    auto it = soundlib_objects.find(handle);
    if (it == soundlib_objects.end() || it->second.kind != kind)
        return nullptr;
    return &it->second;
}

// Removes one play; the sample's count of sounding plays goes down with it.
static std::map<uint32_t, soundlib_object>::iterator soundlib_erase_play(std::map<uint32_t, soundlib_object>::iterator it)
{
    soundlib_object* sample = soundlib_find(it->second.sample, soundlib_kind::sample);
    if (sample != nullptr && sample->plays > 0)
        sample->plays--;
    return soundlib_objects.erase(it);
}

// Removes every play of the sample (0: of every sample).
static void soundlib_erase_plays(uint32_t sample)
{
    for (auto it = soundlib_objects.begin(); it != soundlib_objects.end();) {
        bool match = it->second.kind == soundlib_kind::play && (sample == 0 || it->second.sample == sample);
        it = match ? soundlib_erase_play(it) : std::next(it);
    }
}

// Peak of n bytes of 16-bit samples: left in the low word, right in the high word.
static uint32_t soundlib_peak(const uint8_t* data, uint32_t n)
{
    uint32_t peak[2] = {0, 0};
    uint32_t count = n / 2;
    for (uint32_t i = 0; i < count; i++) {
        int16_t s;
        std::memcpy(&s, data + 2 * i, 2);
        uint32_t mag = static_cast<uint32_t>(std::abs(static_cast<int32_t>(s)));
        uint32_t side = soundlib_channels == 2 ? i % 2 : 0;
        peak[side] = std::max(peak[side], mag);
    }
    if (soundlib_channels != 2)
        peak[1] = peak[0];
    return peak[1] << 16 | peak[0];
}

// Adds n bytes of 16-bit samples to out, clipped to the 16-bit range.
static void soundlib_add(uint8_t* out, const uint8_t* src, uint32_t n)
{
    for (uint32_t i = 0; i + 1 < n; i += 2) {
        int16_t a, b;
        std::memcpy(&a, out + i, 2);
        std::memcpy(&b, src + i, 2);
        int32_t sum = std::clamp<int32_t>(int32_t(a) + int32_t(b), INT16_MIN, INT16_MAX);
        int16_t c = static_cast<int16_t>(sum);
        std::memcpy(out + i, &c, 2);
    }
}

// Mixes the next block of one playing object into out; true when it reached its end.
static bool soundlib_mix_object(soundlib_object& obj, uint8_t* out, uint32_t len)
{
    uint32_t size = static_cast<uint32_t>(obj.pcm->size());
    uint32_t n = std::min(len, size - std::min(size, obj.pos));
    const uint8_t* src = obj.pcm->data() + obj.pos;
    if (n > 0)
        soundlib_add(out, src, n);
    obj.level = soundlib_peak(src, n);
    obj.pos += n;
    return obj.pos >= size;
}

static void soundlib_queue_end(uint32_t handle, soundlib_object& stream)
{
    for (const soundlib_sync& s : stream.syncs)
        soundlib_events.push_back({s.proc, s.handle, handle, s.user});
}

// The device's thread: sums every playing stream and sample play into the block.
static void soundlib_mix(uint8_t* out, int len)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    if (!soundlib_open || !soundlib_running || len <= 0)
        return;
    bool queued = false;
    for (auto it = soundlib_objects.begin(); it != soundlib_objects.end();) {
        soundlib_object& obj = it->second;
        if (obj.kind == soundlib_kind::sample || !obj.playing || !soundlib_mix_object(obj, out, len)) {
            ++it;
            continue;
        }
        obj.playing = false;
        if (obj.kind == soundlib_kind::play) {
            it = soundlib_erase_play(it);
            continue;
        }
        soundlib_queue_end(it->first, obj);
        queued = queued || !obj.syncs.empty();
        ++it;
    }
    if (queued)
        soundlib_wake.notify_all();
}

// Our own thread: hands queued end events to their procedures, outside the lock.
static void soundlib_sync_loop(uint64_t generation)
{
    std::unique_lock<std::mutex> lock(soundlib_mutex);
    for (;;) {
        soundlib_wake.wait(lock, [generation] {
            return soundlib_generation != generation || !soundlib_events.empty();
        });
        if (soundlib_generation != generation)
            return;
        soundlib_event ev = soundlib_events.front();
        soundlib_events.pop_front();
        lock.unlock();
        ev.proc(ev.sync, ev.channel, 0, ev.user);
        lock.lock();
    }
}

// Reads the encoded bytes of a source: the memory block itself, or the part of
// the file, copied into storage. False when there is nothing to read.
static bool soundlib_read_source(bool mem, const void* file, uint32_t offset, uint32_t length,
                                 std::vector<uint8_t>& storage, const uint8_t*& data, size_t& size)
{
    if (file == nullptr || (mem && length == 0))
        return false;
    if (mem) {
        data = static_cast<const uint8_t*>(file) + offset;
        size = length;
        return true;
    }
    std::FILE* f = std::fopen(static_cast<const char*>(file), "rb");
    if (f == nullptr)
        return false;
    int64_t want = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        want = static_cast<int64_t>(std::ftell(f)) - static_cast<int64_t>(offset);
    if (length != 0)
        want = std::min<int64_t>(want, length);
    if (want > 0 && std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0) {
        storage.resize(static_cast<size_t>(want));
        storage.resize(std::fread(storage.data(), 1, storage.size(), f));
    }
    std::fclose(f);
    data = storage.data();
    size = storage.size();
    return size > 0;
}

// Decodes an encoded image into the output format (the backend may lock the device).
static soundlib_pcm soundlib_decode_bytes(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> pcm;
    if (!sound_device_decode(data, size, pcm))
        return nullptr;
    return std::make_shared<const std::vector<uint8_t>>(std::move(pcm));
}

// Decodes a source without holding soundlib_mutex (it takes a while). Streams
// go through a one-entry cache keyed on the encoded bytes, so that a track
// started again at its end plays at once instead of after a fresh decode.
static soundlib_pcm soundlib_decode(bool mem, const void* file, uint32_t offset, uint32_t length, bool cached)
{
    std::vector<uint8_t> storage;
    const uint8_t*       data = nullptr;
    size_t               size = 0;
    if (!soundlib_read_source(mem, file, offset, length, storage, data, size))
        return nullptr;
    if (cached) {
        std::lock_guard<std::mutex> lock(soundlib_cache_mutex);
        if (soundlib_cache_pcm != nullptr && soundlib_cache_source.size() == size &&
            std::memcmp(soundlib_cache_source.data(), data, size) == 0)
            return soundlib_cache_pcm;
    }
    soundlib_pcm pcm = soundlib_decode_bytes(data, size);
    if (cached && pcm != nullptr) {
        std::lock_guard<std::mutex> lock(soundlib_cache_mutex);
        soundlib_cache_source.assign(data, data + size);
        soundlib_cache_pcm = pcm;
    }
    return pcm;
}

static void soundlib_cache_clear()
{
    std::lock_guard<std::mutex> lock(soundlib_cache_mutex);
    soundlib_cache_source.clear();
    soundlib_cache_source.shrink_to_fit();
    soundlib_cache_pcm = nullptr;
}

// Bytes of one sample frame of the output (16-bit samples, every channel).
static uint32_t soundlib_frame_bytes()
{
    return 2u * static_cast<uint32_t>(soundlib_channels);
}

// --- public functions ---------------------------------------------------------
uint32_t soundlib_get_version()
{
    return SOUNDLIB_VERSION;
}

bool soundlib_init(int32_t device, uint32_t freq, uint32_t flags, void*)
{
    {
        std::lock_guard<std::mutex> lock(soundlib_mutex);
        if (soundlib_open)
            return false;
    }
    int channels = (flags & SOUNDLIB_DEVICE_MONO) != 0 ? 1 : 2;
    int frequency = 0;
    if (device < 0 || freq == 0 || !sound_device_open(device, freq, channels, soundlib_mix, frequency))
        return false;
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    soundlib_open = true;
    soundlib_running = false;
    soundlib_channels = channels;
    soundlib_frequency = frequency;
    soundlib_generation++;
    soundlib_sync_thread = std::thread(soundlib_sync_loop, soundlib_generation);
    return true;
}

bool soundlib_start()
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    soundlib_running = soundlib_open;
    return soundlib_open;
}

bool soundlib_stop()
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    if (!soundlib_open)
        return false;
    soundlib_running = false;
    soundlib_erase_plays(0);
    for (auto& [h, obj] : soundlib_objects) {
        obj.playing = false;
        obj.level = 0;
    }
    return true;
}

bool soundlib_free()
{
    std::thread sync;
    {
        std::lock_guard<std::mutex> lock(soundlib_mutex);
        if (!soundlib_open)
            return false;
        soundlib_open = false;
        soundlib_running = false;
        soundlib_generation++;
        soundlib_events.clear();
        sync = std::move(soundlib_sync_thread);
    }
    soundlib_wake.notify_all();
    // The sync thread goes first: a procedure still running may be decoding.
    if (sync.get_id() == std::this_thread::get_id())
        sync.detach();  // called from a sync procedure: the loop ends when it returns
    else if (sync.joinable())
        sync.join();
    sound_device_close();
    soundlib_cache_clear();
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    soundlib_objects.clear();
    return true;
}

uint32_t soundlib_channel_is_active(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    auto it = soundlib_objects.find(handle);
    if (it == soundlib_objects.end())
        return SOUNDLIB_ACTIVE_STOPPED;
    bool active = it->second.kind == soundlib_kind::sample ? it->second.plays > 0 : it->second.playing;
    return active ? SOUNDLIB_ACTIVE_PLAYING : SOUNDLIB_ACTIVE_STOPPED;
}

uint32_t soundlib_stream_create_file(bool mem, const void* file, uint32_t offset, uint32_t length, uint32_t)
{
    {
        std::lock_guard<std::mutex> lock(soundlib_mutex);
        if (!soundlib_open)
            return 0;
    }
    soundlib_pcm pcm = soundlib_decode(mem, file, offset, length, true);
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    if (pcm == nullptr || !soundlib_open)
        return 0;
    uint32_t h = soundlib_new_handle();
    soundlib_objects[h] = soundlib_make(soundlib_kind::stream, std::move(pcm));
    return h;
}

bool soundlib_stream_free(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    if (soundlib_find(handle, soundlib_kind::stream) == nullptr)
        return false;
    soundlib_objects.erase(handle);
    std::erase_if(soundlib_events, [handle](const soundlib_event& e) { return e.channel == handle; });
    return true;
}

bool soundlib_stream_play(uint32_t handle, bool flush, uint32_t)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    soundlib_object* s = soundlib_find(handle, soundlib_kind::stream);
    if (s == nullptr)
        return false;
    if (flush || s->pos >= s->pcm->size())
        s->pos = 0;
    s->playing = true;
    s->level = 0;
    return true;
}

uint32_t soundlib_channel_set_sync(uint32_t handle, uint32_t type, uint32_t, soundlib_sync_proc proc,
                                   uint32_t user)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    soundlib_object* s = soundlib_find(handle, soundlib_kind::stream);
    if (s == nullptr || type != SOUNDLIB_SYNC_END || proc == nullptr)
        return 0;
    uint32_t h = soundlib_new_handle();
    s->syncs.push_back({h, proc, user});
    return h;
}

uint32_t soundlib_channel_get_position(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    auto it = soundlib_objects.find(handle);
    if (it == soundlib_objects.end() || it->second.kind == soundlib_kind::sample)
        return SOUNDLIB_ERROR;
    return it->second.pos;
}

bool soundlib_channel_set_position(uint32_t handle, uint32_t pos)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    soundlib_object* s = soundlib_find(handle, soundlib_kind::stream);
    if (s == nullptr || pos > s->pcm->size())
        return false;
    s->pos = pos - pos % soundlib_frame_bytes();
    s->level = 0;
    return true;
}

uint32_t soundlib_channel_get_length(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    soundlib_object* s = soundlib_find(handle, soundlib_kind::stream);
    if (s == nullptr)
        return SOUNDLIB_ERROR;
    return static_cast<uint32_t>(s->pcm->size());
}

uint32_t soundlib_channel_seconds2bytes(uint32_t handle, double seconds)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    if (soundlib_find(handle, soundlib_kind::stream) == nullptr)
        return SOUNDLIB_ERROR;
    double frames = std::floor(std::max(0.0, seconds) * soundlib_frequency);
    double bytes = frames * soundlib_frame_bytes();
    if (!(bytes < static_cast<double>(SOUNDLIB_ERROR - 1)))  // also catches NaN
        return SOUNDLIB_ERROR - 1 - (SOUNDLIB_ERROR - 1) % soundlib_frame_bytes();
    return static_cast<uint32_t>(bytes);
}

uint32_t soundlib_channel_get_level(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    auto it = soundlib_objects.find(handle);
    if (it == soundlib_objects.end() || it->second.kind == soundlib_kind::sample)
        return SOUNDLIB_ERROR;
    return it->second.playing ? it->second.level : 0;
}

uint32_t soundlib_sample_load(bool mem, const void* file, uint32_t offset, uint32_t length, uint32_t max,
                              uint32_t)
{
    {
        std::lock_guard<std::mutex> lock(soundlib_mutex);
        if (!soundlib_open || max < 1 || max > 65535)
            return 0;
    }
    soundlib_pcm pcm = soundlib_decode(mem, file, offset, length, false);
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    if (pcm == nullptr || !soundlib_open)
        return 0;
    uint32_t h = soundlib_new_handle();
    soundlib_object& sample = soundlib_objects[h] = soundlib_make(soundlib_kind::sample, std::move(pcm));
    sample.max_plays = max;
    return h;
}

uint32_t soundlib_sample_play(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    soundlib_object* s = soundlib_find(handle, soundlib_kind::sample);
    if (s == nullptr || s->plays >= s->max_plays)
        return 0;
    soundlib_object play = soundlib_make(soundlib_kind::play, s->pcm);
    play.playing = true;
    play.sample = handle;
    uint32_t h = soundlib_new_handle();
    soundlib_objects[h] = std::move(play);
    s->plays++;
    return h;
}

uint32_t soundlib_sample_plays(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    soundlib_object* s = soundlib_find(handle, soundlib_kind::sample);
    return s == nullptr ? 0 : s->plays;
}

bool soundlib_sample_stop(uint32_t handle)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    if (soundlib_find(handle, soundlib_kind::sample) == nullptr)
        return false;
    soundlib_erase_plays(handle);
    return true;
}

bool soundlib_set_eax_parameters(int32_t env, float vol, float decay, float damp)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    soundlib_eax& e = soundlib_eax_state;
    e.env = env >= 0 ? env : e.env;
    e.vol = vol >= 0.0f ? vol : e.vol;
    e.decay = decay >= 0.0f ? decay : e.decay;
    e.damp = damp >= 0.0f ? damp : e.damp;
    return true;
}

void soundlib_get_eax_parameters(int32_t& env, float& vol, float& decay, float& damp)
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    env = soundlib_eax_state.env;
    vol = soundlib_eax_state.vol;
    decay = soundlib_eax_state.decay;
    damp = soundlib_eax_state.damp;
}

uint32_t soundlib_stream_count()
{
    std::lock_guard<std::mutex> lock(soundlib_mutex);
    return static_cast<uint32_t>(std::count_if(soundlib_objects.begin(), soundlib_objects.end(), [](const auto& item) {
        return item.second.kind == soundlib_kind::stream;
    }));
}
