// audio/soundlib.h - the sound library the music player calls, over the platform's sound device.
//
// The player was written against a small vendor audio library: a version word,
// start and release of the output, decoded streams with an end-of-stream
// callback, fire-and-forget samples and reverb parameters. This module offers
// exactly those calls, one function each, with the same arguments and results.
//
// FEATURES
//   - one output device (device 0 is the system default, n >= 1 the n-th
//     device the backend lists), 16-bit, mono with the mono flag, stereo without;
//   - streams from a file or a memory block in any format the backend decodes
//     (Ogg Vorbis and WAV at least); a stream is decoded whole when it
//     is created, so playing it never touches the disk;
//   - end-of-stream syncs, delivered once per end of the stream on the
//     library's own thread, never on the device's thread (SDL_mixer must not be
//     called from its own callbacks, and the sync procedures do call back in);
//   - samples with up to `max` simultaneous plays each;
//   - position in bytes of the output format, which can also be set (to play
//     a stream from the middle), level as the peak of the last
//     mixed block (left channel in the low word, right in the high word);
//   - stop (every stream and sample stops) and start of the whole output;
//   - reverb parameters recorded, the sound itself left dry.
//
// DEPENDENCIES
//   a sound device backend (audio/sound_device.h): SDL2 and SDL2_mixer in
//   the Linux build, waveOut and stb_vorbis in the Windows build.
//
// Handles are non-zero 32-bit numbers, unique for the life of the process.
// Failures return 0 (handles), false, or SOUNDLIB_ERROR (position, level).
// Every function may be called from any thread, sync procedures included.
#pragma once

#include <cstdint>

constexpr uint32_t SOUNDLIB_VERSION        = 0x00050001;
constexpr uint32_t SOUNDLIB_DEVICE_MONO    = 2;           // init flag: one output channel
constexpr uint32_t SOUNDLIB_SYNC_END       = 2;           // sync type: end of stream
constexpr uint32_t SOUNDLIB_ACTIVE_STOPPED = 0;           // channel activity values
constexpr uint32_t SOUNDLIB_ACTIVE_PLAYING = 1;
constexpr uint32_t SOUNDLIB_ERROR          = 0xFFFFFFFF;  // position/level of no channel

// Sync procedure: handle is the sync's handle, channel the stream's.
using soundlib_sync_proc = void (*)(uint32_t handle, uint32_t channel, uint32_t data, uint32_t user);

uint32_t soundlib_get_version();
// Opens the output (not yet running: see soundlib_start). win is accepted and unused.
bool     soundlib_init(int32_t device, uint32_t freq, uint32_t flags, void* win);
bool     soundlib_start();
bool     soundlib_stop();
// Closes the output and frees every stream and sample; pending syncs are dropped.
bool     soundlib_free();

// SOUNDLIB_ACTIVE_PLAYING while a stream, a sample (any of its plays) or a
// sample play sounds; SOUNDLIB_ACTIVE_STOPPED otherwise and for unknown handles.
uint32_t soundlib_channel_is_active(uint32_t handle);

// mem: file points at length bytes in memory; otherwise it is a file name and
// offset/length pick a part of the file (length 0: to its end).
uint32_t soundlib_stream_create_file(bool mem, const void* file, uint32_t offset, uint32_t length,
                                     uint32_t flags);
bool     soundlib_stream_free(uint32_t handle);
// Plays the stream; flush (or a stream that reached its end) starts it from the beginning.
bool     soundlib_stream_play(uint32_t handle, bool flush, uint32_t flags);
// Only SOUNDLIB_SYNC_END is supported; returns the sync's handle, 0 on failure.
uint32_t soundlib_channel_set_sync(uint32_t handle, uint32_t type, uint32_t param, soundlib_sync_proc proc,
                                   uint32_t user);
uint32_t soundlib_channel_get_position(uint32_t handle);
// Moves a stream to byte `pos` of the output format, rounded down to a whole
// sample frame, whether it plays or not; a stream that had reached its end can
// be played on from there without flush. False for no stream and for a
// position past the stream's end.
bool     soundlib_channel_set_position(uint32_t handle, uint32_t pos);
// Length of a stream in bytes of the output format; SOUNDLIB_ERROR for no stream.
uint32_t soundlib_channel_get_length(uint32_t handle);
// Bytes of the output format that `seconds` of sound fill (whole sample
// frames, rounded down; saturates at 0xFFFFFFFE); SOUNDLIB_ERROR for no stream.
uint32_t soundlib_channel_seconds2bytes(uint32_t handle, double seconds);
uint32_t soundlib_channel_get_level(uint32_t handle);

// Loads a sample that may sound up to max (1..65535) times at once.
uint32_t soundlib_sample_load(bool mem, const void* file, uint32_t offset, uint32_t length, uint32_t max,
                              uint32_t flags);
// Starts one more play of the sample; returns the play's channel handle, 0 on failure.
uint32_t soundlib_sample_play(uint32_t handle);
// Stops every play of the sample.
bool     soundlib_sample_stop(uint32_t handle);

// Records reverb parameters; -1 (env, decay, damp) or a negative volume keeps the current value.
bool     soundlib_set_eax_parameters(int32_t env, float vol, float decay, float damp);
void     soundlib_get_eax_parameters(int32_t& env, float& vol, float& decay, float& damp);

// Number of streams alive (created and not yet freed).
uint32_t soundlib_stream_count();
// Number of plays of a sample sounding now; 0 for anything but a sample.
uint32_t soundlib_sample_plays(uint32_t handle);
