// tests/common/audio_files.h - short sound files made by the tests themselves.
//
// Tests never ship recorded audio: they synthesise what they play. A signal is
// a vector of mono float samples in -1..1; audio_tone builds one (a sine with a
// short fade at both ends so that its edges do not click). audio_ogg_bytes
// encodes a signal with libvorbisenc (variable bit rate, quality 0.4), and
// audio_wav_bytes writes it as 16-bit PCM WAV; the write helpers put either
// into a file. For checking what the disk audio driver recorded, audio_read_s16
// reads raw 16-bit samples and audio_loud_blocks counts the blocks of a signal
// whose peak reaches a threshold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// seconds of a sine at hz with the given peak amplitude (0..1).
std::vector<float> audio_tone(double seconds, double hz, double amplitude, int rate = 44100);
// seconds of silence.
std::vector<float> audio_silence(double seconds, int rate = 44100);

// Mono signal encoded as an Ogg Vorbis file image / a 16-bit PCM WAV file image.
std::string audio_ogg_bytes(const std::vector<float>& mono, int rate = 44100);
std::string audio_wav_bytes(const std::vector<float>& mono, int rate = 44100);
void        audio_write_ogg(const std::string& path, const std::vector<float>& mono, int rate = 44100);
void        audio_write_wav(const std::string& path, const std::vector<float>& mono, int rate = 44100);

// Native-endian 16-bit samples of a raw file (the disk driver's output).
std::vector<int16_t> audio_read_s16(const std::string& path);
// Number of whole blocks of `block` samples whose peak magnitude is >= threshold.
int audio_loud_blocks(const std::vector<int16_t>& samples, int block, int threshold);
