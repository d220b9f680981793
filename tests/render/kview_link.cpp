// The viewer's scene and watch code lives with the kestrel tool; the watch
// tests drive it in process, so this suite compiles it in.
#include "tools/kestrel/scene_view.cpp"
#include "tools/kestrel/scene_watch.cpp"
