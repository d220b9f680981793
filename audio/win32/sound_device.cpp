// audio/win32/sound_device.cpp - the sound device over waveOut (see sound_device.h).
//
// The Windows build's backend. waveOutOpen opens the device (WAVE_MAPPER for
// device 0, else device n - 1) for 16-bit PCM; a feeder thread keeps four
// blocks of 1024 sample frames queued (about 93 ms at 44.1 kHz): each time
// the device hands one back (CALLBACK_EVENT), it is set to silence, mixed by
// the library and written again. waveOut is the oldest Windows audio API and
// every Windows from XP on has it, Wine included (over PulseAudio or ALSA);
// its latency is well below what the music's timing needs.
//
// Decoding is done here into the device's format: Ogg Vorbis with stb_vorbis
// (libstb-dev), WAV (8- or 16-bit PCM) read directly; mono and stereo are
// converted into each other (stereo to mono as the mean, as SDL does) and
// another sample rate is resampled linearly.
//
// SDL_AUDIODRIVER=dummy, as in the Linux build, opens no device: a thread
// mixes a block every block's duration and drops it, so that a machine or a
// test run without sound keeps the show's timing.
#include "audio/sound_device.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#define STB_VORBIS_NO_STDIO
#include <stb_vorbis.h>

// --- module state -------------------------------------------------------------
constexpr int SOUND_DEVICE_BLOCKS = 4;
constexpr int SOUND_DEVICE_FRAMES = 1024;  // sample frames per block

struct sound_device_state {
    HWAVEOUT             out = nullptr;           // the device, or nullptr (dummy or closed)
    HANDLE               done = nullptr;          // set by the device when a block comes back
    WAVEHDR              headers[SOUND_DEVICE_BLOCKS] = {};
    std::vector<uint8_t> blocks[SOUND_DEVICE_BLOCKS];
    std::thread          feeder;
    std::atomic<bool>    stop{false};
    sound_device_mix_fn  mix = nullptr;
    int                  channels = 2;
    int                  rate = 44100;
    bool                 open = false;
};
static sound_device_state sound_device;

// --- internal helpers ---------------------------------------------------------
static int sound_device_block_bytes()
{
    return SOUND_DEVICE_FRAMES * 2 * sound_device.channels;
}

static bool sound_device_dummy()
{
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    return driver != nullptr && std::string(driver) == "dummy";
}

// Silence, the library's mix, and the block back to the device.
static void sound_device_fill(int i)
{
    WAVEHDR& h = sound_device.headers[i];
    std::memset(h.lpData, 0, h.dwBufferLength);
    sound_device.mix(reinterpret_cast<uint8_t*>(h.lpData), static_cast<int>(h.dwBufferLength));
    h.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
    waveOutWrite(sound_device.out, &h, sizeof h);
}

static void sound_device_feed()
{
    for (int i = 0; i < SOUND_DEVICE_BLOCKS; ++i)
        sound_device_fill(i);
    while (!sound_device.stop) {
        WaitForSingleObject(sound_device.done, 50);
        for (int i = 0; i < SOUND_DEVICE_BLOCKS && !sound_device.stop; ++i)
            if (sound_device.headers[i].dwFlags & WHDR_DONE)
                sound_device_fill(i);
    }
}

// The dummy device: one block mixed and dropped per block's duration.
static void sound_device_feed_dummy()
{
    std::vector<uint8_t> block(static_cast<size_t>(sound_device_block_bytes()));
    auto period = std::chrono::microseconds(int64_t(SOUND_DEVICE_FRAMES) * 1000000 / sound_device.rate);
    auto next = std::chrono::steady_clock::now();
    while (!sound_device.stop) {
        std::memset(block.data(), 0, block.size());
        sound_device.mix(block.data(), static_cast<int>(block.size()));
        next += period;
        std::this_thread::sleep_until(next);
    }
}

static bool sound_device_open_wave(int32_t device)
{
    if (device != 0 && static_cast<UINT>(device) > waveOutGetNumDevs())
        return false;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(sound_device.channels);
    format.nSamplesPerSec = static_cast<DWORD>(sound_device.rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(2 * sound_device.channels);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    sound_device.done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    UINT id = device == 0 ? WAVE_MAPPER : static_cast<UINT>(device - 1);
    if (!sound_device.done ||
        waveOutOpen(&sound_device.out, id, &format, reinterpret_cast<DWORD_PTR>(sound_device.done), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        if (sound_device.done)
            CloseHandle(sound_device.done);
        sound_device.done = nullptr;
        sound_device.out = nullptr;
        return false;
    }
    for (int i = 0; i < SOUND_DEVICE_BLOCKS; ++i) {
        sound_device.blocks[i].assign(static_cast<size_t>(sound_device_block_bytes()), 0);
        WAVEHDR& h = sound_device.headers[i];
        h = WAVEHDR{};
        h.lpData = reinterpret_cast<LPSTR>(sound_device.blocks[i].data());
        h.dwBufferLength = static_cast<DWORD>(sound_device.blocks[i].size());
        waveOutPrepareHeader(sound_device.out, &h, sizeof h);
    }
    return true;
}

static uint32_t sound_device_u32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

static uint16_t sound_device_u16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// A RIFF WAVE file of 8- or 16-bit PCM into 16-bit samples; false for anything else.
static bool sound_device_read_wav(const uint8_t* data, size_t size, std::vector<int16_t>& samples, int& channels,
                                  int& rate)
{
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return false;
    int bits = 0;
    channels = 0;
    for (size_t at = 12; at + 8 <= size;) {
        uint32_t length = sound_device_u32(data + at + 4);
        const uint8_t* body = data + at + 8;
        size_t room = size - at - 8;
        if (std::memcmp(data + at, "fmt ", 4) == 0 && length >= 16 && room >= 16) {
            if (sound_device_u16(body) != WAVE_FORMAT_PCM)
                return false;
            channels = sound_device_u16(body + 2);
            rate = static_cast<int>(sound_device_u32(body + 4));
            bits = sound_device_u16(body + 14);
        } else if (std::memcmp(data + at, "data", 4) == 0 && channels > 0 && channels <= 2 && rate > 0 &&
                   (bits == 8 || bits == 16)) {
            size_t n = std::min<size_t>(length, room) / (bits / 8);
            samples.resize(n);
            for (size_t i = 0; i < n; ++i)
                samples[i] = bits == 8 ? static_cast<int16_t>((int(body[i]) - 128) << 8)
                                       : static_cast<int16_t>(sound_device_u16(body + 2 * i));
            return true;
        }
        at += 8 + length + (length & 1);
    }
    return false;
}

static bool sound_device_read_vorbis(const uint8_t* data, size_t size, std::vector<int16_t>& samples,
                                     int& channels, int& rate)
{
    if (size < 4 || std::memcmp(data, "OggS", 4) != 0 || size > static_cast<size_t>(INT32_MAX))
        return false;
    short* decoded = nullptr;
    int frames = stb_vorbis_decode_memory(data, static_cast<int>(size), &channels, &rate, &decoded);
    if (frames < 0 || decoded == nullptr || channels < 1 || rate <= 0) {
        std::free(decoded);
        return false;
    }
    samples.assign(decoded, decoded + size_t(frames) * size_t(channels));
    std::free(decoded);
    // Files of more than two channels are mixed down to their first two.
    if (channels > 2) {
        std::vector<int16_t> two(size_t(frames) * 2);
        for (size_t f = 0; f < size_t(frames); ++f) {
            two[2 * f] = samples[f * size_t(channels)];
            two[2 * f + 1] = samples[f * size_t(channels) + 1];
        }
        samples.swap(two);
        channels = 2;
    }
    return true;
}

// Frame f of channel c (of the device's channels) from samples of `channels` channels.
static int32_t sound_device_sample(const std::vector<int16_t>& samples, int channels, size_t f, int c)
{
    if (channels == sound_device.channels)
        return samples[f * size_t(channels) + size_t(c)];
    if (channels == 1)
        return samples[f];
    return (int32_t(samples[2 * f]) + int32_t(samples[2 * f + 1])) / 2;  // stereo to mono
}

// Converts to the device's channels and rate, as native-endian bytes.
static void sound_device_convert(const std::vector<int16_t>& samples, int channels, int rate,
                                 std::vector<uint8_t>& pcm)
{
    size_t frames = samples.size() / size_t(channels);
    size_t out_frames = rate == sound_device.rate ? frames : size_t(double(frames) * sound_device.rate / rate);
    std::vector<int16_t> out(out_frames * size_t(sound_device.channels));
    for (size_t f = 0; f < out_frames; ++f) {
        double at = rate == sound_device.rate ? double(f) : double(f) * rate / sound_device.rate;
        size_t i = std::min(frames - 1, size_t(at));
        size_t j = std::min(frames - 1, i + 1);
        double t = at - double(i);
        for (int c = 0; c < sound_device.channels; ++c) {
            double v = sound_device_sample(samples, channels, i, c) * (1.0 - t) +
                       sound_device_sample(samples, channels, j, c) * t;
            out[f * size_t(sound_device.channels) + size_t(c)] = static_cast<int16_t>(v);
        }
    }
    pcm.resize(out.size() * 2);
    std::memcpy(pcm.data(), out.data(), pcm.size());
}

// --- public functions ---------------------------------------------------------
bool sound_device_open(int32_t device, uint32_t freq, int channels, sound_device_mix_fn mix, int& frequency)
{
    if (sound_device.open)
        return false;
    sound_device.channels = channels;
    sound_device.rate = static_cast<int>(freq);
    sound_device.mix = mix;
    sound_device.stop = false;
    bool dummy = sound_device_dummy();
    if (!dummy && !sound_device_open_wave(device))
        return false;
    sound_device.open = true;
    sound_device.feeder = std::thread(dummy ? sound_device_feed_dummy : sound_device_feed);
    frequency = sound_device.rate;
    return true;
}

void sound_device_close()
{
    if (!sound_device.open)
        return;
    sound_device.stop = true;
    if (sound_device.feeder.joinable())
        sound_device.feeder.join();
    if (sound_device.out) {
        waveOutReset(sound_device.out);  // every queued block comes back
        for (WAVEHDR& h : sound_device.headers)
            waveOutUnprepareHeader(sound_device.out, &h, sizeof h);
        waveOutClose(sound_device.out);
        sound_device.out = nullptr;
    }
    if (sound_device.done) {
        CloseHandle(sound_device.done);
        sound_device.done = nullptr;
    }
    sound_device.open = false;
}

bool sound_device_decode(const uint8_t* data, size_t size, std::vector<uint8_t>& pcm)
{
    std::vector<int16_t> samples;
    int channels = 0, rate = 0;
    if (!sound_device_read_vorbis(data, size, samples, channels, rate) &&
        !sound_device_read_wav(data, size, samples, channels, rate))
        return false;
    if (channels < 1 || channels > 2 || samples.empty()) {
        pcm.clear();
        return channels >= 1 && channels <= 2;
    }
    sound_device_convert(samples, channels, rate, pcm);
    return true;
}
