// The scene dump code lives with the kestrel tool; the fuzz-corpus test runs
// it in process (through fuzz/scene_loader_fuzz.h), so this suite compiles it in.
#include "tools/kestrel/scene_json.cpp"
