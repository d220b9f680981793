// audio/player.h - the music list and wave-sample player.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

struct BASSENTRY {
    bool     FROM;    // plays from memory
    char*    FNAME;   // file entries: own copy of the name; memory entries: the data
    uint32_t SAMPLE;  // wave entries: sample handle, 0 if loading failed
    uint32_t SIZE;    // memory entries: data length
};

constexpr int BASS_MAX_MUSICS = 32;
constexpr int BASS_MAX_WAVES  = 128;

extern BASSENTRY BASSMUSICS[BASS_MAX_MUSICS];
extern BASSENTRY BASSWAVES[BASS_MAX_WAVES];
extern uint32_t  BASSNUMBEROFMUSICS;   // 0xFFFFFFFF when empty
extern uint32_t  BASSNUMBEROFWAVES;
extern uint32_t  BASSCURRENTMUSIC;
extern uint32_t  BASSPLAYEDMUSIC;
extern uint32_t  BASSPLAYMODE;
extern bool      BASSNOSOUND;

int32_t     BASSINIT(int32_t device, void* window);
void        BASSDONE();
int32_t     BASSADDMUSIC(const std::string& name);
int32_t     BASSADDMUSICFROMMEM(const void* data, uint32_t size);
const char* BASSGETMUSICNAME(uint32_t nr);
bool        BASSPLAYMUSIC(uint32_t music);
uint32_t    BASSMUSICPOSITION();
uint32_t    BASSGETLEVEL();
void        BASSFREEMUSICLIST();
uint32_t    BASSADDWAVE(const char* name);
void        BASSADDWAVESFROMDIR(const char* name);
bool        BASSPLAYWAVEID(uint32_t id);
bool        BASSPLAYWAVENAME(const char* name);
void        BASSSETPLAYMODE(int32_t mode);
void        BASSLOOPSYNC(uint32_t handle, uint32_t channel, uint32_t data, uint32_t user);
void        BASS_EAXPRESET(int16_t env);

// The globals above are also written by the end-of-track handler on the sound
// library's thread: hold this lock to read them while music may be playing.
std::unique_lock<std::mutex> bass_lock();
// Returns every global to its initial value (the library must be released).
void bass_reset();
// BASSPLAYMUSIC, but the track starts `ms` milliseconds in, so that a show
// started late hears what it would have heard. In play mode 1, where the track
// repeats, a position past its end counts on through the repeats (ms modulo
// the length); in the other modes the track has then ended and stays silent,
// and false is returned as for a track that did not start.
bool bass_play_music_from(uint32_t music, uint32_t ms);
