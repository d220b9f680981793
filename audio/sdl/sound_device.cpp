// audio/sdl/sound_device.cpp - the sound device over SDL2_mixer (see sound_device.h).
//
// The Linux build's backend. SDL_mixer opens the device (SDL's audio
// subsystem picks the driver: PulseAudio, ALSA, ... or SDL_AUDIODRIVER's
// choice, dummy and disk included) and decodes whole files into the device's
// format (Mix_LoadWAV_RW: Ogg Vorbis, WAV and the rest SDL_mixer reads). The
// library's mix runs as SDL_mixer's music hook (Mix_HookMusic), which gets a
// block already set to silence, on SDL's audio thread with the device locked.
#include "audio/sound_device.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <climits>

// --- module state -------------------------------------------------------------
static sound_device_mix_fn sound_device_mix = nullptr;

// --- internal helpers ---------------------------------------------------------
static void SDLCALL sound_device_hook(void*, Uint8* out, int len)
{
    sound_device_mix(out, len);
}

// Samples per second the device was opened with (SDL may give another rate).
static int sound_device_frequency(uint32_t asked)
{
    int freq = 0, channels = 0;
    Uint16 format = 0;
    if (Mix_QuerySpec(&freq, &format, &channels) == 0 || freq <= 0)
        return static_cast<int>(asked);
    return freq;
}

// --- public functions ---------------------------------------------------------
bool sound_device_open(int32_t device, uint32_t freq, int channels, sound_device_mix_fn mix, int& frequency)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    const char* name = nullptr;
    if (device != 0)
        name = SDL_GetAudioDeviceName(device - 1, 0);
    Mix_Init(MIX_INIT_OGG);
    if ((device != 0 && name == nullptr) ||
        Mix_OpenAudioDevice(static_cast<int>(freq), AUDIO_S16SYS, channels, 1024, name, 0) != 0) {
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    sound_device_mix = mix;
    Mix_HookMusic(sound_device_hook, nullptr);
    frequency = sound_device_frequency(freq);
    return true;
}

void sound_device_close()
{
    if (sound_device_mix == nullptr)
        return;
    Mix_HookMusic(nullptr, nullptr);
    Mix_CloseAudio();
    Mix_Quit();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sound_device_mix = nullptr;
}

bool sound_device_decode(const uint8_t* data, size_t size, std::vector<uint8_t>& pcm)
{
    if (size > static_cast<size_t>(INT32_MAX))
        return false;
    SDL_RWops* rw = SDL_RWFromConstMem(data, static_cast<int>(size));
    if (rw == nullptr)
        return false;
    // The stream is closed here, not by the mixer (freesrc 0): for some bytes
    // it cannot decode, the mixer returned without closing it, and every such
    // attempt leaked the stream. The chunk holds decoded samples, not the stream.
    Mix_Chunk* chunk = Mix_LoadWAV_RW(rw, 0);
    SDL_RWclose(rw);
    if (chunk == nullptr)
        return false;
    pcm.assign(chunk->abuf, chunk->abuf + chunk->alen);
    Mix_FreeChunk(chunk);
    return true;
}
