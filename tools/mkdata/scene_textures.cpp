// tools/mkdata/scene_textures.cpp - the textures the four textured scenes name.
//
// Surface textures (ground, water, marble, planet, moon) are built from
// tileable value noise, so they repeat without seams when a material tiles
// them or a texture matrix scrolls them. The two sphere maps are painted as
// what a sphere-mapped surface reflects: the centre of the image is what lies
// behind the viewer, the rim what lies to the sides. Textures with alpha
// (fern, wing, clouds) are written RGBA; the rest RGB.
#include <cmath>

#include "tools/mkdata/image.h"
#include "tools/mkdata/mkdata.h"

// --- internal helpers ----------------------------------------------------------------
static float st_smooth(float e0, float e1, float x)
{
    float t = std::fmin(1.0f, std::fmax(0.0f, (x - e0) / (e1 - e0)));
    return t * t * (3 - 2 * t);
}

static mk_rgba st_mix(mk_rgba a, mk_rgba b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

static void st_particles(const mk_context& ctx)
{
    mk_image spark;  // round soft spark: white core, coloured by the emitter
    img_fill(spark, {0, 0, 0, 1});
    img_glow(spark, 128, 128, 127, 2.2f, {1, 1, 1, 1});
    img_glow(spark, 128, 128, 40, 1.0f, {1, 1, 1, 1});
    img_save(ctx, spark, "spark.raw", false);

    mk_image beam;  // light shaft: bright middle column, fading to the top
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float across = 1 - std::fabs((x + 0.5f) / 128 - 1);
            float v = std::pow(across, 2.5f) * (y / 255.0f);
            beam.at(x, y) = {v, v, v, 1};
        }
    img_save(ctx, beam, "beam.raw", false);
}

static void st_valley(const mk_context& ctx)
{
    uint64_t seed = mk_seed(ctx, "valley");
    mk_image ground;  // teal rock with moss and thin glowing crystal veins
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float n = img_fbm(x, y, 64, 5, seed);
            float moss = st_smooth(0.45f, 0.6f, img_fbm(x, y, 32, 3, seed + 1));
            float vein = std::fabs(img_fbm(x, y, 64, 3, seed + 2) - 0.5f);
            float glow = st_smooth(0.03f, 0.0f, vein);
            mk_rgba rock{0.25f + 0.3f * n, 0.28f + 0.3f * n, 0.32f + 0.3f * n, 1};
            mk_rgba c = st_mix(rock, {0.2f + 0.2f * n, 0.45f + 0.25f * n, 0.25f, 1}, moss * 0.8f);
            ground.at(x, y) = st_mix(c, {0.5f, 0.95f, 1.0f, 1}, glow * 0.8f);
        }
    img_save(ctx, ground, "ground.raw", false);

    mk_image water;  // flowing water: stretched ripples with bright crests
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float n = img_fbm(x * 2.0f, y * 0.5f, 32, 4, seed + 3);
            float crest = st_smooth(0.6f, 0.75f, n);
            water.at(x, y) = {0.2f + 0.6f * crest, 0.45f + 0.5f * crest, 0.7f + 0.3f * crest, 1};
        }
    img_save(ctx, water, "water.raw", false);

    mk_image fern;  // crystal fern: a stem with pairs of leaves, alpha outside
    for (int i = 0; i < 14; ++i) {
        float y = 250 - i * 16.0f, len = 100 * (1 - i / 16.0f);
        for (int side = -1; side <= 1; side += 2)
            for (int k = 0; k < 20; ++k) {
                float t = k / 19.0f;
                float px = 128 + side * len * t, py = y - 30 * t - 10 * t * t;
                img_disc(fern, px, py, 7 * (1 - t) + 2, {0.2f + 0.3f * t, 0.75f, 0.6f + 0.3f * t, 1});
            }
    }
    img_line(fern, 128, 255, 128, 20, 5, {0.25f, 0.6f, 0.4f, 1});
    img_save(ctx, fern, "fern.raw", true);

    mk_image sky;  // sphere map of a dusk sky: bright sun glint, pink horizon ring
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float dx = (x + 0.5f) / 128 - 1, dy = (y + 0.5f) / 128 - 1, r = std::sqrt(dx * dx + dy * dy);
            mk_rgba c = st_mix({0.25f, 0.35f, 0.7f, 1}, {1.0f, 0.6f, 0.65f, 1}, st_smooth(0.5f, 0.95f, r));
            if (dy > 0)
                c = st_mix(c, {0.1f, 0.15f, 0.2f, 1}, st_smooth(0.1f, 0.6f, dy) * 0.7f);
            sky.at(x, y) = c;
        }
    img_glow(sky, 90, 80, 60, 2.0f, {1, 1, 0.9f, 1});
    img_save(ctx, sky, "env_sky.raw", false);

    mk_image chrome;  // studio sphere map: soft light boxes over a dark floor
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float v = 0.12f + 0.1f * st_smooth(1.0f, 0.0f, y / 255.0f);
            float band = st_smooth(0.0f, 0.06f, 0.12f - std::fabs(y / 255.0f - 0.3f));
            float side = st_smooth(0.0f, 0.05f, 0.08f - std::fabs(x / 255.0f - 0.2f)) * st_smooth(0.75f, 0.6f, y / 255.0f);
            chrome.at(x, y) = {v + band + side, v + band * 0.95f + side * 0.9f, v + band * 0.9f + side, 1};
        }
    img_save(ctx, chrome, "env_chrome.raw", false);
}

static void st_butterfly(const mk_context& ctx)
{
    // One wing pair of the right side: span along x (body at x = 0), chord
    // along y (front edge at y = 0). Forewing and hindwing, orange with black
    // veins, a black border and white spots; transparent outside.
    mk_image wing;
    mk_rgba orange{1.0f, 0.55f, 0.08f, 1}, black{0.05f, 0.03f, 0.02f, 1};
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float u = (x + 0.5f) / 256, v = (y + 0.5f) / 256;
            // forewing: ellipse from the root towards the outer front corner
            float fx = (u - 0.48f) / 0.5f, fy = (v - 0.32f) / 0.3f;
            float rot = 0.35f, fu = fx * std::cos(rot) + fy * std::sin(rot), fv = -fx * std::sin(rot) + fy * std::cos(rot);
            float fore = 1 - (fu * fu + fv * fv);
            // hindwing: rounder lobe behind
            float hx = (u - 0.35f) / 0.36f, hy = (v - 0.7f) / 0.28f;
            float hind = 1 - (hx * hx + hy * hy);
            float inside = std::fmax(fore, hind);
            if (inside <= 0 || u < 0.02f)
                continue;
            float edge = st_smooth(0.0f, 0.18f, inside);
            float ang = std::atan2(v - 0.5f, u), vein = std::fabs(std::sin(ang * 9.0f));
            mk_rgba c = st_mix(orange, {1.0f, 0.75f, 0.3f, 1}, v * 0.5f);
            c = st_mix(c, black, st_smooth(0.12f, 0.03f, vein) * 0.9f);
            c = st_mix(black, c, edge);
            img_blend(wing, x, y, c, std::fmin(1.0f, inside * 30));
        }
    for (int i = 0; i < 14; ++i) {  // white spots along the border
        float a = 0.3f + i * 0.19f;
        float cx = 20 + 200 * std::sin(a) * 0.9f, cy = 128 - 110 * std::cos(a);
        if (i % 7 != 6)
            img_disc(wing, cx, cy, 3.5f, {1, 1, 1, 1});
    }
    img_save(ctx, wing, "wing.raw", true);
}

static void st_planet(const mk_context& ctx)
{
    uint64_t seed = mk_seed(ctx, "planet");
    // Equirectangular: x is longitude, y latitude from the south pole (row 0)
    // to the north pole (row 255), as the sphere's texture coordinates run.
    mk_image earth, clouds, moon;
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float lat = std::fabs(y / 255.0f - 0.5f) * 2;
            float h = img_fbm(x, y, 32, 5, seed) * 0.7f + img_fbm(x, y, 64, 2, seed + 4) * 0.3f;
            mk_rgba c;
            if (h < 0.52f) {
                c = st_mix({0.02f, 0.08f, 0.3f, 1}, {0.1f, 0.35f, 0.6f, 1}, st_smooth(0.35f, 0.52f, h));
            } else {
                float dry = img_fbm(x, y, 32, 3, seed + 1);
                c = st_mix({0.15f, 0.45f, 0.12f, 1}, {0.65f, 0.55f, 0.3f, 1}, st_smooth(0.4f, 0.65f, dry + lat * 0.2f));
                c = st_mix(c, {0.4f, 0.35f, 0.3f, 1}, st_smooth(0.65f, 0.8f, h));
            }
            c = st_mix(c, {0.95f, 0.97f, 1, 1}, st_smooth(0.8f, 0.9f, lat + 0.1f * h));
            earth.at(x, y) = c;

            float cl = img_fbm(x * 1.0f, y * 1.0f, 32, 5, seed + 2);
            float band = 0.5f + 0.5f * std::cos(lat * 3.14159f * 2.5f);  // cloud belts and clear subtropics
            float a = st_smooth(0.5f, 0.72f, cl * (0.8f + 0.3f * band)) * 0.9f;
            clouds.at(x, y) = {1, 1, 1, a};

            float m = img_fbm(x, y, 32, 5, seed + 3);
            moon.at(x, y) = {0.35f + 0.4f * m, 0.35f + 0.4f * m, 0.37f + 0.4f * m, 1};
        }
    for (int i = 0; i < 30; ++i) {  // craters
        float cx = img_hash01(i, 1, seed) * 256, cy = 30 + img_hash01(i, 2, seed) * 196, r = 3 + 14 * img_hash01(i, 3, seed);
        img_disc(moon, cx, cy, r, {0.25f, 0.25f, 0.27f, 0.7f});
        img_ring(moon, cx, cy, r, 2, {0.8f, 0.8f, 0.82f, 0.6f});
    }
    img_save(ctx, earth, "earth.raw", false);
    img_save(ctx, clouds, "clouds.raw", true);
    img_save(ctx, moon, "moon.raw", false);
}

static void st_marble(const mk_context& ctx)
{
    uint64_t seed = mk_seed(ctx, "marble");
    mk_image marble;  // dark green marble with pale veins, for the pedestal
    for (int y = 0; y < MK_TEX; ++y)
        for (int x = 0; x < MK_TEX; ++x) {
            float n = img_fbm(x, y, 64, 5, seed);
            float vein = std::fabs(std::sin((x / 256.0f + n * 2.0f) * 3.14159f * 4));
            float v = std::pow(vein, 6.0f);
            marble.at(x, y) = {0.08f + 0.7f * v, 0.2f + 0.65f * v, 0.16f + 0.65f * v, 1};
        }
    img_save(ctx, marble, "marble.raw", false);
}

// --- public function -----------------------------------------------------------------
void mk_scene_textures(const mk_context& ctx)
{
    mk_progress(ctx, "scenes: painting textures");
    st_particles(ctx);
    st_valley(ctx);
    st_butterfly(ctx);
    st_planet(ctx);
    st_marble(ctx);
}
