// tools/mkdata/show.cpp - the default show file, show.toml.
//
// The score of the default show written as data: qiv reads it from the data
// folder and plays exactly the frames its built-in score plays (the tests
// compare the two picture for picture). The text is kept as the one example
// an author starts from, so it spells out every kind of step, and qiv-show(5)
// shows it whole.
#include "support/atomic_file.h"
#include "tools/mkdata/mkdata.h"

// --- the file ------------------------------------------------------------------------
const char* const MK_SHOW_TOML = R"(# show.toml - the score of the default show (see qiv-show(5)).
#
# Times are in ms of the show (or in beats when bpm is set); a rate is the ms
# of show time per animation frame, counted from the segment's start.

music = "music.ogg"
length = 131500
loading = "loading"
layers = ["meeting", "crestpre", "part2", "blackfade", "starmap", "portrait", "drumcrash",
          "hatter", "crestfade", "beauty", "planet", "kekbkg", "keret", "greets"]
closing = [{ layers = "drumcrash", rate = 131.5 }]

[[scenes]]
name = "crest"
textures = false

[[scenes]]
name = "part2"
particles = 2000

[[scenes]]
name = "hipoly"
particles = 2000

[[scenes]]
name = "lepke"
particles = 10

[[scenes]]
name = "earth"
particles = 200

[[scenes]]
name = "qorv"
textures = false

[[segments]]
name = "crest"
start = 0
end = 15000
weight = 82.38
steps = [
  "clear",
  { scene = "crest", rate = 7.5 },
  { layers = "crestpre", rate = 15 },
]

[[segments]]
name = "part2"
start = 15000
end = 40000
weight = 42
steps = [
  "clear",
  { scene = "part2", rate = 25 },
  "reset",
  { particles = "part2", rate = 25 },
  { layers = "part2", rate = 25 },
]

[[segments]]
name = "lepke"
start = 40000
end = 64000
include_start = false
weight = 79.68
steps = [
  "clear",
  { layers = "portrait", rate = 24 },
  "clear_depth",
  { scene = "lepke", rate = 24 },
  "clear_depth",
  "reset",
  { particles = "lepke", rate = 24 },
  "reset",
  "clear_depth",
  { layers = "beauty", rate = 24 },
  { layers = "blackfade", rate = 24 },
]

[[segments]]
name = "earth"
start = 64000
end = 96000
include_start = false
weight = 105.54
steps = [
  "clear",
  { scene = "earth", rate = 32 },
  "reset",
  { particles = "earth", rate = 32 },
  "starfield",
  { layers = "starmap", rate = 32 },
  { layers = "planet", rate = 32 },
  { layers = "blackfade", rate = 32 },
]

[[segments]]
name = "hipoly"
start = 96000
end = 114000
include_start = false
weight = 31.2
steps = [
  "clear",
  { layers = "hatter", rate = 18 },
  "clear_depth",
  { scene = "hipoly", rate = 18 },
  "clear_depth",
  "reset",
  { particles = "hipoly", rate = 18 },
  "reset",
  "clear_depth",
  { layers = "greets", rate = 18 },
  { layers = "crestfade", rate = 18 },
]

[[segments]]
name = "qorv"
start = 114000
end = 130000
include_start = false
weight = 45.54
steps = [
  "clear",
  { layers = "kekbkg", frame = 0 },
  "clear_depth",
  { effect = "spin", scene = "qorv", objects = 5, x = 20, y = 19, growth = 1.1 },
  { scene = "qorv", rate = 8, wrap = 1000 },
  { layers = "keret", rate = 16 },
  { layers = "meeting", rate = 16 },
  { layers = "crestfade", rate = 16 },
]
)";

// --- public functions ----------------------------------------------------------------
void mk_make_show(const mk_context& ctx)
{
    atomic_file file(mk_path(ctx, "show.toml"));
    file.write(std::string(MK_SHOW_TOML));
    file.commit();
    mk_progress(ctx, "wrote show.toml");
}
