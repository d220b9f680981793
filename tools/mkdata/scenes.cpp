// tools/mkdata/scenes.cpp - the six scenes of the show.
//
//   crest   (segment 1, frames 0-2000): an enamelled shield with a gold star
//           and rim, haloed by rings and a sunburst; lit metal and vertex
//           colours only, no textures. Gems orbit it, the key light sweeps.
//   part2   (segment 2, 0-1000): the crystal valley. A fog-bound flight along
//           a scrolling river between LOD-culled crystal clusters with
//           additive sphere maps, alpha-tested ferns, light shafts and
//           sparkle fountains, under a vertex-coloured dusk sky.
//   lepke   (segment 3, 0-1000): a butterfly crossing a meadow, drawn over
//           the portrait layer. The wings flap as a flipbook of three poses:
//           each pose's position track parks it far behind the butterfly,
//           along the line of sight, whenever another pose is showing.
//   earth   (segment 4, 0-1000): the planet with drifting clouds (alpha
//           blended, scrolling), an additive atmosphere, the moon and a
//           satellite in orbit, aurora particles; sized so that the
//           starfield (+-5000, +-5000, +-2000) surrounds it.
//   hipoly  (segment 5, 0-1000): a sculpted torus knot of 115 200 triangles
//           with baked vertex colours and an alpha-blended chrome sphere map,
//           on a marble pedestal, circled by two particle streams.
//   qorv    (segment 6, frames 0-1000 looping): a gyroscope of five nested
//           rings, the first five objects, which the timeline spins about
//           their common pivot; a glowing core and orbiting spheres; lit
//           metal, vertex colours and exponential fog, no textures.
//
// Camera keys run over the whole frame range of each scene; emitters are sized
// for the pools the shell gives (part2 2000, hipoly 2000, lepke 10, earth 200):
// NEWPARTICLE times the life in steps (POWER / DELTAPOWER) stays within them.
#include <cmath>

#include "tools/mkdata/image.h"
#include "tools/mkdata/mesh.h"
#include "tools/mkdata/mkdata.h"

void mk_scene_textures(const mk_context& ctx);

// --- internal helpers ------------------------------------------------------------------
static constexpr float SC_PI = 3.14159265358979f;

static float sc_rad(float deg)
{
    return deg * SC_PI / 180;
}

// The engine's camera curve: cubic Bezier segments with tangents (P[i+1] - P[i-1]) / 6.
static KST_VECTOR sc_spline(const std::vector<KST_KEYVECTOR>& k, float f)
{
    size_t n = k.size();
    if (f <= k[0].KEY)
        return {k[0].X, k[0].Y, k[0].Z};
    if (f >= k[n - 1].KEY)
        return {k[n - 1].X, k[n - 1].Y, k[n - 1].Z};
    size_t a = 0;
    for (size_t i = 0; i + 1 < n; ++i)
        if (k[i].KEY <= f && f < k[i + 1].KEY)
            a = i;
    auto ease = [&](size_t i) {
        size_t lo = i == 0 ? 0 : i - 1, hi = i + 1 < n ? i + 1 : n - 1;
        return KST_VECTOR{(k[hi].X - k[lo].X) / 6, (k[hi].Y - k[lo].Y) / 6, (k[hi].Z - k[lo].Z) / 6};
    };
    KST_VECTOR e0 = ease(a), e1 = ease(a + 1);
    float d = (f - k[a].KEY) / float(k[a + 1].KEY - k[a].KEY);
    float b0 = (1 - d) * (1 - d) * (1 - d), b1 = 3 * d * (1 - d) * (1 - d), b2 = 3 * d * d * (1 - d), b3 = d * d * d;
    const KST_KEYVECTOR &p = k[a], &q = k[a + 1];
    return {b0 * p.X + b1 * (p.X + e0.X) + b2 * (q.X - e1.X) + b3 * q.X,
            b0 * p.Y + b1 * (p.Y + e0.Y) + b2 * (q.Y - e1.Y) + b3 * q.Y,
            b0 * p.Z + b1 * (p.Z + e0.Z) + b2 * (q.Z - e1.Z) + b3 * q.Z};
}

// Keys every step frames from 0 to last of a function of the frame.
static std::vector<KST_KEYVECTOR> sc_keys(int last, int step, const std::function<KST_VECTOR(float)>& fn)
{
    std::vector<KST_KEYVECTOR> keys;
    for (int f = 0; f <= last; f += step) {
        KST_VECTOR p = fn(float(f));
        keys.push_back({f, p.X, p.Y, p.Z});
    }
    return keys;
}

// A circular orbit around centre in a plane tilted about X, periodic over period frames.
static std::function<KST_VECTOR(float)> sc_orbit(KST_VECTOR centre, float radius, float tilt, float period, float phase)
{
    return [=](float f) {
        float a = 2 * SC_PI * f / period + phase;
        float x = radius * std::cos(a), y = radius * std::sin(a);
        return KST_VECTOR{centre.X + x, centre.Y + y * std::cos(sc_rad(tilt)), centre.Z + y * std::sin(sc_rad(tilt))};
    };
}

static KST_PARTICLEDATA sc_emitter(int32_t per_step, float life, KST_VECTOR velocity, KST_VECTOR spread,
                                   KST_RGB colour, KST_RGB colour_spread, float size)
{
    KST_PARTICLEDATA p{};
    p.ENABLED = 1;
    p.NEWPARTICLE = per_step;
    p.POWER = life;
    p.DELTAPOWER = 1;
    p.DELTAVECTOR = velocity;
    p.DELTAVECTORSPREAD = spread;
    p.COLOR = colour;
    p.COLORSPREAD = colour_spread;
    p.COLORATTRIB = 3;   // fade out and shrink with age
    p.SIZE = size;
    kst_name_set(p.TEXTURENAME, "spark.raw");
    return p;
}

// A tiny mesh for emitters that are never drawn (LOD 2) but need a pivot.
static mk_mesh sc_point(KST_VECTOR at)
{
    return mesh_sphere(at, 1, 4, 2);
}

// Unlit vertex-coloured material (the colour array colours the mesh).
static int32_t sc_unlit(mk_scene& s, const std::string& name)
{
    int32_t m = scene_material(s, name, {1, 1, 1});
    scene_mat(s, m).RECEIVELIGHT = 0;
    scene_mat(s, m).AMBIENT = {1, 1, 1};
    return m;
}

static void sc_metal(KST_MATERIAL& m, KST_RGB colour, float shine)
{
    m.AMBIENT = {colour.R * 0.3f, colour.G * 0.3f, colour.B * 0.3f};
    m.DIFFUSE = colour;
    m.SPECULAR = {0.9f, 0.9f, 0.9f};
    m.SHINE = static_cast<int32_t>(shine);
}

// --- crest -------------------------------------------------------------------------------
static std::vector<std::pair<float, float>> sc_shield_outline()
{
    // Counter-clockwise in x-z: from the bottom tip up the right side, across
    // the top (a gentle dip in the middle) and down the left side.
    std::vector<std::pair<float, float>> o;
    for (int i = 0; i <= 12; ++i) {  // right side: curve from the tip to the shoulder
        float t = i / 12.0f;
        o.push_back({110 * std::sin(t * SC_PI / 2), -150 + 190 * t * t * 0.5f + 95 * t});
    }
    o.push_back({115, 140});
    for (int i = 1; i < 8; ++i) {
        float t = i / 8.0f;
        o.push_back({115 - 230 * t, 140 - 14 * std::sin(t * SC_PI)});
    }
    o.push_back({-115, 140});
    for (int i = 12; i >= 1; --i) {
        float t = i / 12.0f;
        o.push_back({-110 * std::sin(t * SC_PI / 2), -150 + 190 * t * t * 0.5f + 95 * t});
    }
    return o;
}

// Behind the shield: a sunburst of alternating rays (unlit vertex colours) and
// an additive ring of light, bright inside and black outside, in a later pass.
static void sc_crest_backdrop(mk_scene& s, int32_t rays, int32_t glow)
{
    mk_mesh burst;
    int nrays = 48;
    for (int i = 0; i < nrays; ++i) {
        float a0 = 2 * SC_PI * i / nrays, a1 = 2 * SC_PI * (i + 1) / nrays;
        int32_t b = static_cast<int32_t>(burst.v.size());
        burst.v.push_back({0, 40, 10});
        burst.v.push_back({430 * std::cos(a0), 40, 10 + 430 * std::sin(a0)});
        burst.v.push_back({430 * std::cos(a1), 40, 10 + 430 * std::sin(a1)});
        bool light = i % 2 == 0;
        burst.c.push_back({1.0f, 0.85f, 0.45f});
        KST_RGB edge = light ? KST_RGB{0.55f, 0.18f, 0.1f} : KST_RGB{0.18f, 0.05f, 0.12f};
        burst.c.push_back(edge);
        burst.c.push_back(edge);
        burst.f.push_back({b, b + 2, b + 1});
        for (int k = 0; k < 3; ++k)
            burst.n.push_back({0, -1, 0});
    }
    burst.uv.assign(burst.v.size(), {0, 0});
    mk_object& sun = scene_object(s, "sunburst", burst, rays);
    sun.rec.BACKFACECULL = 0;

    // Additive glow: a ring of light around the emblem, bright inside, black outside.
    mk_mesh ring = mesh_surface(64, 4, [](float u, float v) {
        float a = u * 2 * SC_PI, r = 150 + 170 * v;
        return KST_VECTOR{r * std::cos(a), 30, 10 + r * std::sin(a)};
    });
    mesh_colour(ring, [](KST_VECTOR p, KST_VECTOR) {
        float r = std::sqrt(p.X * p.X + (p.Z - 10) * (p.Z - 10));
        float k = std::fmax(0.0f, 1 - (r - 150) / 170);
        return KST_RGB{0.9f * k * k, 0.6f * k * k, 0.3f * k * k};
    });
    mk_object& g = scene_object(s, "glow", ring, glow);
    g.rec.BACKFACECULL = 0;
    g.rec.PASSNO = 1;
}

static void sc_crest(const mk_context& ctx)
{
    mk_scene s;
    s.name = "crest";
    s.frames = 2000;
    s.fov = 0.75f;
    s.znear = 5;
    s.zfar = 6000;

    int32_t enamel = scene_material(s, "blue enamel", {0.12f, 0.22f, 0.62f});
    sc_metal(scene_mat(s, enamel), {0.12f, 0.22f, 0.62f}, 60);
    int32_t gold = scene_material(s, "gold", {0.95f, 0.7f, 0.25f});
    sc_metal(scene_mat(s, gold), {0.95f, 0.7f, 0.25f}, 40);
    int32_t silver = scene_material(s, "silver", {0.75f, 0.78f, 0.82f});
    sc_metal(scene_mat(s, silver), {0.75f, 0.78f, 0.82f}, 90);
    int32_t ruby = scene_material(s, "ruby", {0.8f, 0.08f, 0.12f});
    sc_metal(scene_mat(s, ruby), {0.8f, 0.08f, 0.12f}, 70);
    int32_t rays = sc_unlit(s, "sunburst");
    int32_t glow = sc_unlit(s, "glow");
    scene_mat(s, glow).BLEND = 1;
    scene_mat(s, glow).DEPTHTEST = 1;

    std::vector<std::pair<float, float>> outline = sc_shield_outline();
    scene_object(s, "shield", mesh_prism(outline, -10, 10), enamel);

    // Rim: a tube along the smoothed outline, on the front face.
    auto rim_curve = [&](float t) {
        float x = t * outline.size();
        size_t i = static_cast<size_t>(x) % outline.size();
        float f = x - std::floor(x);
        auto [ax, az] = outline[i];
        auto [bx, bz] = outline[(i + 1) % outline.size()];
        return KST_VECTOR{ax + (bx - ax) * f, -10, az + (bz - az) * f};
    };
    scene_object(s, "rim", mesh_tube(rim_curve, [](float, float) { return 7.0f; }, 240, 10, true), gold);

    std::vector<std::pair<float, float>> star;
    for (int i = 0; i < 10; ++i) {
        float a = SC_PI / 2 + i * SC_PI / 5, r = i % 2 ? 30.0f : 75.0f;
        star.push_back({r * std::cos(a), 25 + r * std::sin(a)});
    }
    scene_object(s, "star", mesh_prism(star, -24, -10), gold);

    std::vector<std::pair<float, float>> band = {{-104, -60}, {104, -60}, {96, -30}, {-96, -30}};
    scene_object(s, "band", mesh_prism(band, -16, -10), ruby);

    mk_mesh halo = mesh_torus({0, 0, 0}, 205, 6, 160, 10);
    mesh_place(halo, 0, 90, {0, 0, 0});
    scene_object(s, "halo ring", halo, silver);
    mk_mesh halo2 = mesh_torus({0, 0, 0}, 232, 3.5f, 160, 8);
    mesh_place(halo2, 0, 75, {0, 20, 0});
    scene_object(s, "outer ring", halo2, gold);

    sc_crest_backdrop(s, rays, glow);

    // Gems orbiting the emblem, each on its own tilted circle.
    for (int i = 0; i < 6; ++i) {
        mk_mesh gem = mesh_sphere({0, 0, 0}, 14, 4, 2);
        mesh_facet(gem);
        mk_object& o = scene_object(s, "gem " + std::to_string(i), gem, i % 2 ? ruby : silver);
        o.rec.POS = {0, 0, 0};
        o.track = sc_keys(2000, 25, sc_orbit({0, 0, 10}, 270 + 15 * (i % 3), 70 + 8 * i, 1000 + 150 * i, i * SC_PI / 3));
    }

    mk_light& key = scene_light(s, 0, "key sweep", {0, -600, 300}, {1.0f, 0.95f, 0.85f});
    key.rec.AMBIENT = {0.12f, 0.12f, 0.15f};
    key.track = {mk_key(0, -700, -500, 400), mk_key(1000, 200, -700, 150), mk_key(2000, 600, -500, 350)};
    mk_light& rim = scene_light(s, 1, "rim", {300, 500, 200}, {0.5f, 0.6f, 1.0f});
    rim.track = sc_keys(2000, 100, sc_orbit({0, 200, 200}, 500, 30, 2000, 0));
    scene_light(s, 2, "warm fill", {-400, -300, -300}, {0.45f, 0.3f, 0.2f});

    s.campos = {mk_key(0, -650, -950, -320), mk_key(500, -420, -820, -60), mk_key(1000, 260, -760, 60),
                mk_key(1500, 120, -720, 30), mk_key(2000, 0, -700, 40)};
    s.camtarget = {mk_key(0, 60, 0, 60), mk_key(700, 20, 0, 20), mk_key(1400, 0, 0, 10), mk_key(2000, 0, 0, 10)};
    mk_scene_save(ctx, s);
}

// --- part2: the crystal valley -------------------------------------------------------------
static float sc_river_x(float y)
{
    return 90 * std::sin(y / 420) + 40 * std::sin(y / 170);
}

static float sc_ground_z(float x, float y)
{
    float d = x - sc_river_x(y);
    float valley = -25 + 300 * (1 - std::exp(-(d / 700) * (d / 700)));
    float hills = 40 * std::sin(x / 230) * std::sin(y / 310) * std::fmin(1.0f, std::fabs(d) / 400);
    return valley + hills;
}

// Two crossed upright cards standing on base (ferns, light shafts): half
// width w, height h, the first turned by angle degrees about Z.
static void sc_crossed_cards(mk_mesh& m, KST_VECTOR base, float w, float h, float angle)
{
    for (int k = 0; k < 2; ++k) {
        float a = sc_rad(angle + 90.0f * k);
        float dx = w * std::cos(a), dy = w * std::sin(a);
        int32_t b = static_cast<int32_t>(m.v.size());
        m.v.push_back({base.X - dx, base.Y - dy, base.Z});
        m.v.push_back({base.X + dx, base.Y + dy, base.Z});
        m.v.push_back({base.X + dx, base.Y + dy, base.Z + h});
        m.v.push_back({base.X - dx, base.Y - dy, base.Z + h});
        m.uv.insert(m.uv.end(), {{0, 1}, {1, 1}, {1, 0}, {0, 0}});
        m.n.insert(m.n.end(), 4, KST_VECTOR{0, 0, 1});
        m.f.push_back({b, b + 1, b + 2});
        m.f.push_back({b, b + 2, b + 3});
    }
}

struct sc_valley_materials {
    int32_t sky, ground, water, crystal_a, crystal_b, fern, beam, heart;
};

static sc_valley_materials sc_part2_materials(mk_scene& s)
{
    sc_valley_materials m{};
    m.sky = sc_unlit(s, "sky");
    m.ground = scene_textured(s, "valley floor", "ground.raw", {0.9f, 0.9f, 0.9f});
    scene_mat(s, m.ground).UTILE = scene_mat(s, m.ground).VTILE = 14;
    scene_mat(s, m.ground).SPECULAR = {0.1f, 0.1f, 0.1f};
    m.water = scene_textured(s, "river", "water.raw", {1, 1, 1});
    {
        KST_MATERIAL& w = scene_mat(s, m.water);
        w.RECEIVELIGHT = 0;
        w.AMBIENT = {0.6f, 0.85f, 1.0f};
        w.BLEND = 2;
        w.CONSTANTALPHA = 0.6f;
        w.DEPTHTEST = 1;
    }
    m.crystal_a = scene_material(s, "cyan crystal", {0.2f, 0.55f, 0.75f});
    m.crystal_b = scene_material(s, "violet crystal", {0.5f, 0.25f, 0.7f});
    for (int32_t i : {m.crystal_a, m.crystal_b}) {
        KST_MATERIAL& c = scene_mat(s, i);
        c.SPECULAR = {1, 1, 1};
        c.SHINE = 80;
        c.ENVMAP = 1;
        kst_name_set(c.ENVTEXTNAME, "env_sky.raw");
        c.ENVMODE = 0;  // added on top
        c.ENVMAPCOLOR = {0.55f, 0.6f, 0.7f};
    }
    m.fern = scene_textured(s, "fern", "fern.raw", {0.8f, 1.0f, 0.9f});
    scene_mat(s, m.fern).ALPHATEST = 0.5f;
    scene_mat(s, m.fern).TEXTUREWRAP = 1;
    m.beam = scene_textured(s, "light shaft", "beam.raw", {1, 1, 1});
    {
        KST_MATERIAL& b = scene_mat(s, m.beam);
        b.RECEIVELIGHT = 0;
        b.AMBIENT = {0.45f, 0.8f, 1.0f};
        b.BLEND = 1;
        b.DEPTHTEST = 1;
        b.TEXTUREWRAP = 1;
    }
    m.heart = sc_unlit(s, "heart crystal");
    return m;
}

// Sky dome, valley floor and the scrolling river.
static void sc_part2_land(mk_scene& s, const sc_valley_materials& m, KST_RGBA horizon)
{
    // A hemisphere seen from inside, coloured from horizon to zenith, reaching
    // a little below the horizon so no gap shows past the valley's end.
    mk_mesh dome = mesh_surface(48, 18, [](float u, float v) {
        float a = u * 2 * SC_PI, e = -SC_PI / 10 + v * (SC_PI / 2 + SC_PI / 10);
        return KST_VECTOR{4200 * std::cos(e) * std::cos(a), 1500 + 4200 * std::cos(e) * std::sin(a), -300 + 3000 * std::sin(e)};
    }, 1, 1, true);
    mesh_colour(dome, [&](KST_VECTOR p, KST_VECTOR) {
        float t = std::fmin(1.0f, std::fmax(0.0f, (p.Z + 300) / 2400));
        return KST_RGB{horizon.R + (0.08f - horizon.R) * t, horizon.G + (0.12f - horizon.G) * t, horizon.B + (0.35f - horizon.B) * t};
    });
    scene_object(s, "sky", dome, m.sky).rec.BACKFACECULL = 0;

    mk_mesh floor = mesh_surface(90, 90, [](float u, float v) {
        float x = (u - 0.5f) * 4400, y = -900 + v * 4600;
        return KST_VECTOR{x, y, sc_ground_z(x, y)};
    });
    scene_object(s, "valley floor", floor, m.ground);

    mk_mesh river = mesh_surface(4, 120, [](float u, float v) {
        float y = -900 + v * 4600;
        return KST_VECTOR{sc_river_x(y) + (u - 0.5f) * 420, y, -6};
    }, 1, 24);
    mk_object& riv = scene_object(s, "river", river, m.water);
    riv.rec.PASSNO = 1;
    riv.rec.UVDELTA = {0, -0.02f, 0};
}

// Crystal clusters along both sides of the valley, each its own LOD object;
// returns where the four heart crystals stand.
static std::vector<KST_VECTOR> sc_part2_crystals(mk_scene& s, const sc_valley_materials& m, uint64_t seed)
{
    std::vector<KST_VECTOR> hearts;
    for (int i = 0; i < 40; ++i) {
        float y = -600 + i * 100.0f + 60 * img_hash01(i, 1, seed);
        float side = i % 2 ? 1.0f : -1.0f;
        float x = sc_river_x(y) + side * (260 + 600 * img_hash01(i, 2, seed));
        float z = sc_ground_z(x, y);
        mk_mesh c;
        int shards = 3 + static_cast<int>(img_hash01(i, 3, seed) * 4);
        float scale = 0.6f + 0.9f * img_hash01(i, 4, seed);
        for (int k = 0; k < shards; ++k) {
            float h = (90 + 120 * img_hash01(i, 10 + k, seed)) * scale, r = (14 + 10 * img_hash01(i, 20 + k, seed)) * scale;
            mk_mesh shard = mesh_surface(6, 3, [=](float u, float v) {
                float a = u * 2 * SC_PI, rr = v < 0.75f ? r : r * (1 - v) / 0.25f;
                return KST_VECTOR{rr * std::cos(a), rr * std::sin(a), v * h};
            });
            mesh_place(shard, 60.0f * k + 80 * img_hash01(i, 30 + k, seed), 10 + 25 * img_hash01(i, 40 + k, seed),
                       {x + 10 * (k - shards / 2.0f), y, z - 5});
            mesh_append(c, shard);
        }
        mesh_facet(c);
        mk_object& o = scene_object(s, "crystals " + std::to_string(i), c, i % 3 ? m.crystal_a : m.crystal_b);
        o.rec.LOD = 1;
        o.rec.POS = {x, y, z};
        if (i % 10 == 4)
            hearts.push_back({x, y, z});
    }
    return hearts;
}

// Ferns on the banks: crossed alpha-tested cards, lit from above.
static void sc_part2_ferns(mk_scene& s, const sc_valley_materials& m, uint64_t seed)
{
    mk_mesh ferns;
    for (int i = 0; i < 60; ++i) {
        float y = -700 + i * 65.0f, side = i % 2 ? 1.0f : -1.0f;
        float x = sc_river_x(y) + side * (200 + 140 * img_hash01(i, 5, seed));
        float z = sc_ground_z(x, y), h = 50 + 40 * img_hash01(i, 6, seed);
        sc_crossed_cards(ferns, {x, y, z - 4}, h * 0.8f, h + 4, 45.0f + 40 * img_hash01(i, 7, seed));
    }
    mk_object& fo = scene_object(s, "ferns", ferns, m.fern);
    fo.rec.BACKFACECULL = 0;
    fo.rec.PASSNO = 2;
}

// Heart crystals: glowing, each with a light shaft and a sparkle fountain.
// Four emitters x 4 particles per step x 100 steps of life = 1600 of 2000.
static void sc_part2_hearts(mk_scene& s, const sc_valley_materials& m, const std::vector<KST_VECTOR>& hearts)
{
    mk_mesh shafts;
    for (size_t i = 0; i < hearts.size(); ++i) {
        KST_VECTOR p = hearts[i];
        mk_mesh h = mesh_sphere({p.X, p.Y, p.Z + 40}, 22, 4, 2);
        mesh_facet(h);
        mesh_colour(h, [](KST_VECTOR, KST_VECTOR n) { return KST_RGB{0.5f + 0.5f * n.Z, 0.9f, 1.0f}; });
        mk_object& o = scene_object(s, "heart " + std::to_string(i), h, m.heart);
        o.rec.PARTICLE = sc_emitter(4, 100, {0, 0, 2.2f}, {1.6f, 1.6f, 1.0f}, {0.45f, 0.8f, 1.0f}, {0.4f, 0.3f, 0.2f}, 9);
        sc_crossed_cards(shafts, p, 70, 650, 20);
    }
    mk_object& so = scene_object(s, "light shafts", shafts, m.beam);
    so.rec.BACKFACECULL = 0;
    so.rec.PASSNO = 1;
}

static void sc_part2_lights_and_camera(mk_scene& s)
{
    mk_light& sunl = scene_light(s, 0, "low sun", {-3000, -2500, 2500}, {1.0f, 0.82f, 0.7f});
    sunl.rec.AMBIENT = {0.18f, 0.15f, 0.2f};
    scene_light(s, 1, "cyan wisp", {0, 0, 100}, {0.2f, 0.5f, 0.7f}).track = sc_keys(1000, 50, [](float f) {
        float y = -300 + 3.4f * f;
        return KST_VECTOR{sc_river_x(y) + 150 * std::sin(f / 60), y + 300, 120 + 40 * std::sin(f / 45)};
    });
    scene_light(s, 2, "violet wisp", {0, 2000, 100}, {0.5f, 0.25f, 0.6f}).track = sc_keys(1000, 50, [](float f) {
        float y = 3200 - 3.0f * f;
        return KST_VECTOR{sc_river_x(y) - 200 * std::sin(f / 70), y, 160};
    });
    // The flight: low along the river, weaving, then up over the valley.
    s.campos = sc_keys(1000, 100, [](float f) {
        float y = -450 + 3.1f * f;
        float rise = std::fmax(0.0f, f - 700) * 1.5f;
        return KST_VECTOR{sc_river_x(y) + 70 * std::sin(f / 120), y - rise * 0.6f, 55 + 18 * std::sin(f / 90) + rise};
    });
    s.camtarget = sc_keys(1000, 100, [](float f) {
        float y = -450 + 3.1f * f + 600;
        float drop = std::fmax(0.0f, f - 700) * 0.4f;
        return KST_VECTOR{sc_river_x(y), y, 70 - drop};
    });
}

static void sc_part2(const mk_context& ctx)
{
    mk_scene s;
    s.name = "part2";
    s.fov = 0.9f;
    s.znear = 4;
    s.zfar = 9000;
    s.drawdistance = 1700;   // crystal clusters further away are not drawn (deep in the fog by then)
    uint64_t seed = mk_seed(ctx, "part2");
    KST_RGBA horizon{0.78f, 0.5f, 0.58f, 1};

    sc_valley_materials m = sc_part2_materials(s);
    sc_part2_land(s, m, horizon);
    std::vector<KST_VECTOR> hearts = sc_part2_crystals(s, m, seed);
    sc_part2_ferns(s, m, seed);
    sc_part2_hearts(s, m, hearts);
    scene_fog(s, 0, 0.001f, 300, 1800, horizon);
    s.objects.front().rec.USEFOG = 0;  // the sky stays clear
    s.objects.back().rec.USEFOG = 0;   // fog would add its own colour to the additive shafts
    sc_part2_lights_and_camera(s);
    mk_scene_save(ctx, s);
}

// --- lepke: the butterfly ------------------------------------------------------------------
static KST_VECTOR sc_flight(float f)
{
    return {-260 + 0.52f * f, 70 * std::sin(f / 95), 35 + 22 * std::sin(f / 37) + 8 * std::sin(f / 11)};
}

static mk_mesh sc_wings(float dihedral)
{
    mk_mesh wings;
    for (int side = -1; side <= 1; side += 2) {
        mk_mesh w = mesh_surface(8, 8, [=](float u, float v) {
            float span = 95 * u, chord_x = 28 - 70 * v + 10 * u;
            float lift = 6 * std::sin(SC_PI * u) * (1 - v);
            float a = sc_rad(dihedral);
            return KST_VECTOR{chord_x, side * span * std::cos(a), span * std::sin(a) + lift};
        }, 1, 1, side > 0);
        mesh_append(wings, w);
    }
    return wings;
}

// Flowers below the flight: green stems, unlit petals coloured tip to heart.
static void sc_lepke_flowers(mk_scene& s, int32_t stem, int32_t petals)
{
    mk_mesh stems, blossoms;
    const KST_RGB tints[5] = {{1.0f, 0.3f, 0.45f}, {1.0f, 0.85f, 0.2f}, {0.7f, 0.4f, 1.0f}, {1.0f, 0.55f, 0.2f}, {0.95f, 0.95f, 1.0f}};
    for (int i = 0; i < 7; ++i) {
        float x = -250 + i * 90.0f, y = (i % 2 ? 1 : -1) * (40 + 15 * i % 50), top = -40 + 15 * (i % 3);
        mesh_append(stems, mesh_tube([=](float t) { return KST_VECTOR{x + 6 * std::sin(t * 3), y, -260 + (top + 260) * t}; },
                                     [](float, float) { return 2.5f; }, 10, 6, false));
        KST_RGB tint = tints[i % 5];
        size_t from = blossoms.v.size();
        for (int k = 0; k < 6; ++k) {
            float a = k * SC_PI / 3;
            mk_mesh petal = mesh_ellipsoid({18, 0, 0}, {18, 8, 2.5f}, 10, 6);
            mesh_place(petal, a * 180 / SC_PI, 0, {x, y, top});
            mesh_append(blossoms, petal);
        }
        mk_mesh centre = mesh_sphere({x, y, top + 2}, 6, 8, 6);
        mesh_append(blossoms, centre);
        blossoms.c.resize(blossoms.v.size());
        for (size_t k = from; k < blossoms.v.size(); ++k) {
            float d = std::hypot(blossoms.v[k].X - x, blossoms.v[k].Y - y) / 36;
            float heart = std::fmax(0.0f, 1 - d * 3);   // a golden heart, the colour deepening outwards
            blossoms.c[k] = {tint.R * (0.55f + 0.45f * d) * (1 - heart) + 1.0f * heart,
                             tint.G * (0.45f + 0.55f * d) * (1 - heart) + 0.75f * heart, tint.B * (0.5f + 0.5f * d) * (1 - heart)};
        }
    }
    scene_object(s, "stems", stems, stem);
    scene_object(s, "blossoms", blossoms, petals);
}

static void sc_lepke(const mk_context& ctx)
{
    mk_scene s;
    s.name = "lepke";
    s.fov = 0.7f;
    s.znear = 3;
    s.zfar = 3000;

    int32_t wing = scene_textured(s, "wing", "wing.raw", {1, 1, 1});
    {
        KST_MATERIAL& m = scene_mat(s, wing);
        m.RECEIVELIGHT = 0;
        m.AMBIENT = {1, 1, 1};
        m.ALPHATEST = 0.5f;
        m.TEXTUREWRAP = 1;
    }
    int32_t body = scene_material(s, "velvet body", {0.12f, 0.08f, 0.06f});
    {
        KST_MATERIAL& m = scene_mat(s, body);
        m.SPECULAR = {0.4f, 0.35f, 0.3f};
        m.ENVMAP = 1;
        kst_name_set(m.ENVTEXTNAME, "env_chrome.raw");
        m.ENVMODE = 1;  // blended over the body
        m.ENVMAPALPHA = 0.35f;
        m.ENVMAPCOLOR = {1.0f, 0.85f, 0.6f};
    }
    int32_t stem = scene_material(s, "stem", {0.25f, 0.55f, 0.15f});
    int32_t petals = sc_unlit(s, "petals");

    // The camera follows the flight from the side and a little above.
    auto cam = [](float f) {
        KST_VECTOR p = sc_flight(f);
        float a = sc_rad(-70 + 0.06f * f);
        return KST_VECTOR{p.X + 245 * std::cos(a), p.Y + 245 * std::sin(a), p.Z + 60 - 0.03f * f};
    };
    s.campos = sc_keys(1000, 50, cam);
    s.camtarget = sc_keys(1000, 50, [](float f) {
        KST_VECTOR p = sc_flight(f);
        return KST_VECTOR{p.X + 10, p.Y, p.Z - 12};
    });

    // Body: head, thorax, abdomen and two antennae, at the origin; the track flies it.
    mk_mesh b = mesh_ellipsoid({32, 0, 0}, {8, 7, 7}, 12, 8);
    mesh_append(b, mesh_ellipsoid({14, 0, 0}, {15, 8, 8}, 14, 8));
    mesh_append(b, mesh_ellipsoid({-24, 0, -2}, {30, 6, 6}, 16, 8));
    for (int side = -1; side <= 1; side += 2)
        mesh_append(b, mesh_tube([=](float t) { return KST_VECTOR{38 + 30 * t, side * 14 * t, 6 + 22 * t}; },
                                 [](float, float) { return 1.0f; }, 8, 4, false));
    std::vector<KST_KEYVECTOR> path = sc_keys(1000, 1, sc_flight);
    mk_object& bo = scene_object(s, "body", b, body);
    bo.rec.POS = {0, 0, 0};
    bo.track = path;
    // Pollen glitter trail: 1 particle per step, 10 steps of life = the pool of 10.
    bo.rec.PARTICLE = sc_emitter(1, 10, {-0.6f, 0, -0.4f}, {0.8f, 0.8f, 0.5f}, {1.0f, 0.85f, 0.4f}, {0.1f, 0.2f, 0.2f}, 5);

    // Wings: three poses shown in the order up, middle, down, middle, two
    // frames each. A pose that is not showing is parked 30000 units further
    // along the line of sight, beyond the far plane. It stays in place for the
    // whole of its frames and one frame more, and travels in the frame before
    // and the frame after: straight along the line of sight, so it shrinks or
    // grows on the spot and is past the far plane within a tenth of a frame.
    // Some pose is therefore in place at every fraction of every frame.
    const float poses[3] = {58, 18, -28};
    const int order[4] = {0, 1, 2, 1};
    auto showing = [&](int pose, int f) { return f >= 0 && order[(f / 2) % 4] == pose; };
    for (int p = 0; p < 3; ++p) {
        mk_object& w = scene_object(s, "wings " + std::to_string(p), sc_wings(poses[p]), wing);
        w.rec.POS = {0, 0, 0};
        w.rec.BACKFACECULL = 0;
        w.rec.PASSNO = 2;
        for (int f = 0; f <= 1000; ++f) {
            KST_VECTOR at = sc_flight(float(f));
            if (!showing(p, f) && !showing(p, f - 1)) {
                KST_VECTOR eye = sc_spline(s.campos, float(f));
                KST_VECTOR d{at.X - eye.X, at.Y - eye.Y, at.Z - eye.Z};
                float len = std::sqrt(d.X * d.X + d.Y * d.Y + d.Z * d.Z);
                at = {at.X + d.X / len * 30000, at.Y + d.Y / len * 30000, at.Z + d.Z / len * 30000};
            }
            w.track.push_back({f, at.X, at.Y, at.Z});
        }
    }

    sc_lepke_flowers(s, stem, petals);

    mk_light& sunl = scene_light(s, 0, "summer sun", {-500, -800, 900}, {1.0f, 0.95f, 0.8f});
    sunl.rec.AMBIENT = {0.25f, 0.22f, 0.2f};
    mk_light& fill = scene_light(s, 1, "moving fill", {300, 300, 200}, {0.35f, 0.4f, 0.6f});
    fill.track = sc_keys(1000, 50, sc_orbit({0, 0, 150}, 400, 20, 700, 1.0f));
    mk_scene_save(ctx, s);
}

// --- earth -----------------------------------------------------------------------------------
static void sc_earth(const mk_context& ctx)
{
    mk_scene s;
    s.name = "earth";
    s.fov = 0.8f;
    s.znear = 10;
    s.zfar = 15000;
    const float R = 400;

    int32_t planet = scene_textured(s, "planet", "earth.raw", {1, 1, 1});
    scene_mat(s, planet).AMBIENT = {0.06f, 0.06f, 0.1f};
    scene_mat(s, planet).SPECULAR = {0.25f, 0.3f, 0.4f};
    scene_mat(s, planet).SHINE = 25;
    int32_t clouds = scene_textured(s, "clouds", "clouds.raw", {1, 1, 1});
    scene_mat(s, clouds).BLEND = 2;
    scene_mat(s, clouds).DEPTHTEST = 1;
    scene_mat(s, clouds).AMBIENT = {0.08f, 0.08f, 0.1f};
    scene_mat(s, clouds).SPECULAR = {0, 0, 0};
    int32_t air = sc_unlit(s, "atmosphere");
    scene_mat(s, air).BLEND = 1;
    scene_mat(s, air).DEPTHTEST = 1;
    int32_t moon = scene_textured(s, "moon", "moon.raw", {0.9f, 0.9f, 0.9f});
    scene_mat(s, moon).SPECULAR = {0.05f, 0.05f, 0.05f};
    int32_t hull = scene_material(s, "satellite hull", {0.9f, 0.75f, 0.3f});
    sc_metal(scene_mat(s, hull), {0.9f, 0.75f, 0.3f}, 50);
    int32_t panel = scene_material(s, "solar panel", {0.1f, 0.2f, 0.6f});
    sc_metal(scene_mat(s, panel), {0.1f, 0.2f, 0.6f}, 90);

    mk_object& p = scene_object(s, "planet", mesh_sphere({0, 0, 0}, R, 96, 48), planet);
    p.rec.UVDELTA = {0.00045f, 0, 0};  // the planet turns: its texture scrolls eastwards
    mk_object& c = scene_object(s, "clouds", mesh_sphere({0, 0, 0}, R * 1.015f, 64, 32), clouds);
    c.rec.PASSNO = 1;
    c.rec.UVDELTA = {0.0008f, 0, 0};
    // Atmosphere: two inward-facing shells, added where they show around the limb.
    for (int k = 0; k < 2; ++k) {
        mk_mesh shell = mesh_sphere({0, 0, 0}, R * (k ? 1.075f : 1.035f), 48, 24);
        mesh_flip(shell);
        mesh_colour(shell, [k](KST_VECTOR, KST_VECTOR) {
            return k ? KST_RGB{0.03f, 0.06f, 0.16f} : KST_RGB{0.08f, 0.17f, 0.4f};
        });
        mk_object& a = scene_object(s, k ? "outer air" : "inner air", shell, air);
        a.rec.PASSNO = 2;
    }
    mk_object& m = scene_object(s, "moon", mesh_sphere({0, 0, 0}, 70, 32, 16), moon);
    m.rec.POS = {0, 0, 0};
    m.track = sc_keys(1000, 20, sc_orbit({0, 0, 0}, 1150, 15, 1400, 2.2f));

    // The satellite: hull and two panels on a low orbit, four turns in the show.
    auto orbit = sc_orbit({0, 0, 0}, R * 1.35f, 55, 250, 0.5f);
    std::vector<KST_KEYVECTOR> sat_track = sc_keys(1000, 5, orbit);
    mk_mesh sat = mesh_box({-10, -10, -10}, {10, 10, 10});
    mk_object& so = scene_object(s, "satellite", sat, hull);
    so.rec.POS = {0, 0, 0};
    so.track = sat_track;
    // Exhaust trail: 2 per step, 45 steps of life: 90 particles.
    so.rec.PARTICLE = sc_emitter(2, 45, {0, 0, 0}, {0.6f, 0.6f, 0.6f}, {0.6f, 0.85f, 1.0f}, {0.2f, 0.2f, 0.1f}, 6);
    mk_mesh panels = mesh_box({-6, 12, -3}, {6, 60, 3});
    mesh_append(panels, mesh_box({-6, -60, -3}, {6, -12, 3}));
    mk_object& po = scene_object(s, "solar panels", panels, panel);
    po.rec.POS = {0, 0, 0};
    po.track = sat_track;

    // Aurora over the north pole: an emitter that is never drawn; 2 x 45 = 90.
    mk_object& au = scene_object(s, "aurora", sc_point({0, 0, R * 0.98f}), air);
    au.rec.LOD = 2;
    au.rec.POS = {0, 0, R * 0.98f};
    au.rec.PARTICLE = sc_emitter(2, 45, {0, 0, 1.2f}, {5.0f, 5.0f, 0.6f}, {0.2f, 1.0f, 0.5f}, {0.3f, 0.3f, 0.4f}, 16);

    mk_light& sun = scene_light(s, 0, "sun", {-6000, -2500, 2500}, {1.0f, 0.97f, 0.9f});
    sun.rec.AMBIENT = {0.04f, 0.04f, 0.06f};
    mk_light& glow = scene_light(s, 1, "earthshine", {-2000, 2000, 0}, {0.12f, 0.15f, 0.3f});
    glow.track = sc_keys(1000, 50, sc_orbit({0, 0, 0}, 2500, 10, 1000, 2.0f));

    s.campos = {mk_key(0, -900, -1900, 420), mk_key(250, -1500, -1000, 260), mk_key(500, -1150, 250, 120),
                mk_key(750, -300, 1150, 300), mk_key(1000, 700, 1700, 520)};
    s.camtarget = {mk_key(0, 0, 0, 0), mk_key(400, 0, 0, 30), mk_key(700, 60, 0, 0), mk_key(1000, 0, 0, 0)};
    mk_scene_save(ctx, s);
}

// --- hipoly: the sculpture ------------------------------------------------------------------
static void sc_hipoly(const mk_context& ctx)
{
    mk_scene s;
    s.name = "hipoly";
    s.fov = 0.8f;
    s.znear = 5;
    s.zfar = 5000;
    const KST_VECTOR centre{0, 0, 230};

    int32_t sculpt = sc_unlit(s, "sculpture");
    {
        KST_MATERIAL& m = scene_mat(s, sculpt);
        m.ENVMAP = 1;
        kst_name_set(m.ENVTEXTNAME, "env_chrome.raw");
        m.ENVMODE = 1;  // chrome blended over the baked colours
        m.ENVMAPALPHA = 0.42f;
        m.ENVMAPCOLOR = {1, 1, 1};
    }
    int32_t marble = scene_textured(s, "marble", "marble.raw", {0.9f, 0.9f, 0.9f});
    scene_mat(s, marble).UTILE = 3;
    scene_mat(s, marble).SPECULAR = {0.6f, 0.6f, 0.6f};
    scene_mat(s, marble).SHINE = 60;
    int32_t dots = scene_material(s, "emitter", {1, 1, 1});

    // A (2, 3) torus knot whose tube carries helical ridges: 720 x 80 quads.
    auto knot = [=](float t) {
        float a = 2 * SC_PI * t, r = 150 + 62 * std::cos(3 * a);
        return KST_VECTOR{centre.X + r * std::cos(2 * a), centre.Y + r * std::sin(2 * a), centre.Z + 80 * std::sin(3 * a)};
    };
    auto ridge = [](float u, float v) {
        float w = std::sin(2 * SC_PI * (5 * v + 16 * u));
        return 34 * (1 + 0.14f * w + 0.04f * std::sin(2 * SC_PI * 90 * u));
    };
    mk_mesh k = mesh_tube(knot, ridge, 720, 80, true);
    const KST_VECTOR light = {-0.45f, -0.6f, 0.66f};
    for (size_t i = 0; i < k.v.size(); ++i) {
        float u = k.uv[i].U, v = k.uv[i].V;
        const KST_VECTOR& n = k.n[i];
        float diff = std::fmax(0.0f, n.X * light.X + n.Y * light.Y + n.Z * light.Z);
        float groove = 0.6f + 0.4f * (0.5f + 0.5f * std::sin(2 * SC_PI * (5 * v + 16 * u)));
        float h = 2 * SC_PI * u;
        KST_RGB base{0.55f + 0.45f * std::cos(h), 0.5f + 0.45f * std::cos(h + 2.1f), 0.55f + 0.45f * std::cos(h + 4.2f)};
        float l = (0.35f + 0.9f * diff) * groove;
        k.c.push_back({base.R * l + 0.1f * n.Z, base.G * l + 0.08f * n.Z, base.B * l + 0.12f});
    }
    mk_object& ko = scene_object(s, "knot", k, sculpt);
    ko.rec.POS = centre;

    mk_mesh ped = mesh_surface(64, 6, [](float u, float v) {
        float a = u * 2 * SC_PI;
        // profile: foot, column, capital, then the top disc to the centre
        float r = v < 0.2f ? 150 : v < 0.6f ? 115 : v < 0.8f ? 150 : 150 * (1 - (v - 0.8f) / 0.2f);
        float z = v < 0.2f ? 0 + v / 0.2f * 25 : v < 0.6f ? 25 + (v - 0.2f) / 0.4f * 80 : v < 0.8f ? 105 + (v - 0.6f) / 0.2f * 20 : 125;
        return KST_VECTOR{r * std::cos(a), r * std::sin(a), z};
    }, 1, 1);
    scene_object(s, "pedestal", ped, marble);

    // Two particle streams circling the knot: 8 per step x 120 steps each, 1920 of 2000.
    for (int i = 0; i < 2; ++i) {
        mk_object& e = scene_object(s, "stream " + std::to_string(i), sc_point({0, 0, 0}), dots);
        e.rec.LOD = 2;
        e.rec.POS = {0, 0, 0};
        e.track = sc_keys(1000, 10, sc_orbit(centre, 300, i ? -35.0f : 35.0f, 400 + 100 * i, i * SC_PI));
        e.rec.PARTICLE = sc_emitter(8, 120, {0, 0, 0.35f}, {1.2f, 1.2f, 1.2f},
                                    i ? KST_RGB{0.7f, 0.4f, 1.0f} : KST_RGB{1.0f, 0.75f, 0.3f}, {0.2f, 0.2f, 0.2f}, 7);
    }

    for (int i = 0; i < 3; ++i) {
        const KST_RGB colours[3] = {{1.0f, 0.85f, 0.7f}, {0.4f, 0.5f, 1.0f}, {1.0f, 0.4f, 0.6f}};
        mk_light& l = scene_light(s, i, "orbit light " + std::to_string(i), {0, 0, 600}, colours[i]);
        l.track = sc_keys(1000, 50, sc_orbit({0, 0, 400}, 700, 20 * i, 600 + 200 * i, i * 2.1f));
        if (i == 0)
            l.rec.AMBIENT = {0.15f, 0.15f, 0.15f};
    }

    s.campos = sc_keys(1000, 100, [=](float f) {
        float a = sc_rad(-100 + 0.32f * f), r = 880 - 300 * std::sin(f / 1000 * SC_PI);
        return KST_VECTOR{r * std::cos(a), r * std::sin(a), 520 - 0.26f * f};
    });
    s.camtarget = sc_keys(1000, 250, [=](float f) { return KST_VECTOR{0, 0, 190 + 0.03f * f}; });
    mk_scene_save(ctx, s);
}

// --- qorv: the gyroscope ---------------------------------------------------------------------
static void sc_qorv(const mk_context& ctx)
{
    mk_scene s;
    s.name = "qorv";
    s.fov = 0.8f;
    s.znear = 5;
    s.zfar = 6000;

    const KST_RGB metals[4] = {{0.95f, 0.72f, 0.25f}, {0.85f, 0.45f, 0.28f}, {0.78f, 0.8f, 0.85f}, {0.15f, 0.7f, 0.45f}};
    const char* names[4] = {"gold", "copper", "silver", "emerald"};
    int32_t mats[5];
    for (int i = 0; i < 4; ++i) {
        mats[i] = scene_material(s, names[i], metals[i]);
        sc_metal(scene_mat(s, mats[i]), metals[i], 40 + 15 * i);
    }
    mats[4] = sc_unlit(s, "rainbow");
    int32_t core = sc_unlit(s, "core");
    int32_t halo = sc_unlit(s, "core halo");
    scene_mat(s, halo).BLEND = 1;
    scene_mat(s, halo).DEPTHTEST = 1;
    int32_t pearl = scene_material(s, "pearl", {0.9f, 0.88f, 0.95f});
    sc_metal(scene_mat(s, pearl), {0.9f, 0.88f, 0.95f}, 100);

    // The first five objects: nested rings around one pivot, for the timeline to spin.
    for (int i = 0; i < 5; ++i) {
        float R = 330 - 55 * i, r = 15 - 1.2f * i;
        mk_mesh ring = mesh_torus({0, 0, 0}, R, r, 120, 16);
        // Each ring carries studs, so its turning shows.
        for (int k = 0; k < 8; ++k) {
            float a = k * SC_PI / 4;
            mesh_append(ring, mesh_sphere({R * std::cos(a), R * std::sin(a), 0}, r * 1.6f, 10, 6));
        }
        mesh_place(ring, 30.0f * i, i % 2 ? 90.0f : 25.0f * i, {0, 0, 0});
        if (i == 4)
            mesh_colour(ring, [](KST_VECTOR p, KST_VECTOR n) {
                float h = std::atan2(p.Y, p.X);
                float l = 0.6f + 0.4f * n.Z;
                return KST_RGB{l * (0.5f + 0.5f * std::cos(h)), l * (0.5f + 0.5f * std::cos(h + 2.1f)),
                               l * (0.5f + 0.5f * std::cos(h + 4.2f))};
            });
        mk_object& o = scene_object(s, "ring " + std::to_string(i), ring, mats[i]);
        o.rec.POS = {0, 0, 0};
    }

    mk_mesh c = mesh_sphere({0, 0, 0}, 58, 32, 16);
    mesh_colour(c, [](KST_VECTOR, KST_VECTOR n) { return KST_RGB{1.0f, 0.6f + 0.35f * n.Z, 0.25f + 0.3f * n.Z}; });
    scene_object(s, "core", c, core);
    mk_mesh h = mesh_sphere({0, 0, 0}, 95, 32, 16);
    mesh_flip(h);
    mesh_colour(h, [](KST_VECTOR, KST_VECTOR) { return KST_RGB{0.35f, 0.18f, 0.05f}; });
    mk_object& ho = scene_object(s, "core halo", h, halo);
    ho.rec.PASSNO = 1;

    // Pearls on periodic orbits: the scene repeats every 1000 frames.
    for (int i = 0; i < 8; ++i) {
        mk_object& p = scene_object(s, "pearl " + std::to_string(i), mesh_sphere({0, 0, 0}, 16, 16, 8), pearl);
        p.rec.POS = {0, 0, 0};
        p.track = sc_keys(1000, 20, sc_orbit({0, 0, 0}, 480 + 30 * (i % 2), 20 + 12 * i, i % 2 ? 500 : 1000, i * SC_PI / 4));
    }

    scene_fog(s, 1, 0.00025f, 0, 1, {0.02f, 0.07f, 0.22f, 1});

    const KST_RGB lc[3] = {{1.0f, 0.9f, 0.75f}, {0.5f, 0.7f, 1.0f}, {1.0f, 0.5f, 0.8f}};
    for (int i = 0; i < 3; ++i) {
        mk_light& l = scene_light(s, i, "orbit light " + std::to_string(i), {0, 0, 800}, lc[i]);
        l.track = sc_keys(1000, 25, sc_orbit({0, 0, 200}, 900, 30 + 40 * i, i == 1 ? 500 : 1000, i * 2.1f));
        if (i == 0)
            l.rec.AMBIENT = {0.22f, 0.22f, 0.28f};
    }

    // One slow turn around the gyroscope, ending where it began.
    s.campos = sc_keys(1000, 125, [](float f) {
        float a = 2 * SC_PI * f / 1000 - SC_PI / 2;
        return KST_VECTOR{950 * std::cos(a), 950 * std::sin(a), 260 + 80 * std::sin(2 * a)};
    });
    s.camtarget = {mk_key(0, 0, 0, 0), mk_key(1000, 0, 0, 0)};
    mk_scene_save(ctx, s);
}

// --- public function -----------------------------------------------------------------
void mk_make_scenes(const mk_context& ctx)
{
    mk_scene_textures(ctx);
    sc_crest(ctx);
    sc_part2(ctx);
    sc_hipoly(ctx);
    sc_earth(ctx);
    sc_lepke(ctx);
    sc_qorv(ctx);
}
