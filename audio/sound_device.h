// audio/sound_device.h - the output device and decoder under the sound library.
//
// soundlib.cpp keeps the library's objects, mixes them and runs the sync
// thread; a backend gives it one output device and a decoder into that
// device's format: audio/sdl/sound_device.cpp over SDL2_mixer (the Linux
// build), audio/win32/sound_device.cpp over waveOut with stb_vorbis (the
// Windows build). Both honour SDL_AUDIODRIVER=dummy: a device that plays
// nothing but consumes sound at the real rate, so a run without a sound
// card keeps the show's timing.
//
// The output format is signed 16-bit native-endian samples, interleaved when
// stereo. The mix procedure runs on the device's thread, with a block
// already filled with silence; it must not call back into the backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using sound_device_mix_fn = void (*)(uint8_t* out, int len);

// Opens device `device` (0 the system default, n >= 1 the n-th device the
// backend lists) at about freq samples per second with 1 or 2 channels, and
// starts calling mix. frequency is the rate actually opened. False when no
// such device can be opened.
bool sound_device_open(int32_t device, uint32_t freq, int channels, sound_device_mix_fn mix, int& frequency);
// Stops the calls to mix and closes the device; nothing when none is open.
void sound_device_close();
// Decodes a whole encoded file (Ogg Vorbis or WAV at least) into the open
// device's format; false when it cannot be decoded.
bool sound_device_decode(const uint8_t* data, size_t size, std::vector<uint8_t>& pcm);
