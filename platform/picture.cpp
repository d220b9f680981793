// platform/picture.cpp - picture size, fit and bars (see picture.h).
#include "platform/picture.h"

#include <GL/gl.h>
#include <cstdio>

#include "engine/render/render_common.h"

// --- internal helpers ---------------------------------------------------------
static std::string picture_limits()
{
    char text[96];
    std::snprintf(text, sizeof text, "from %dx%d to %dx%d", PICTURE_MIN_WIDTH, PICTURE_MIN_HEIGHT,
                  PICTURE_MAX_WIDTH, PICTURE_MAX_HEIGHT);
    return text;
}

// A whole number of at most five digits at text[pos]; -1 when there is none.
static long picture_number(const std::string& text, size_t& pos)
{
    size_t start = pos;
    long value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 6)
        value = value * 10 + (text[pos++] - '0');
    return pos == start || pos - start > 5 ? -1 : value;
}

// --- public functions ---------------------------------------------------------
std::string picture_parse_size(const std::string& text, int& width, int& height)
{
    size_t pos = 0;
    long w = picture_number(text, pos);
    bool separated = pos < text.size() && (text[pos] == 'x' || text[pos] == 'X');
    pos += separated ? 1 : 0;
    long h = separated ? picture_number(text, pos) : -1;
    if (w < 0 || h < 0 || pos != text.size())
        return "'" + text + "' is not a size WxH (for example 1920x1080)";
    if (w < PICTURE_MIN_WIDTH || h < PICTURE_MIN_HEIGHT || w > PICTURE_MAX_WIDTH || h > PICTURE_MAX_HEIGHT)
        return "'" + text + "' is outside the sizes qiv draws, " + picture_limits();
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return "";
}

picture_rect picture_fit(int frame_width, int frame_height)
{
    picture_rect r;
    if (static_cast<long>(frame_width) * 3 >= static_cast<long>(frame_height) * 4) {
        r.height = frame_height;
        r.width = static_cast<int>((static_cast<long>(frame_height) * 4 + 1) / 3);  // nearest
    } else {
        r.width = frame_width;
        r.height = static_cast<int>((static_cast<long>(frame_width) * 3 + 2) / 4);  // nearest
    }
    if (r.width > frame_width)
        r.width = frame_width;
    if (r.height > frame_height)
        r.height = frame_height;
    r.x = (frame_width - r.width) / 2;
    r.y = (frame_height - r.height) / 2;
    return r;
}

float picture_scale(const picture_rect& picture)
{
    return static_cast<float>(picture.height) / 480.0f;
}

bool picture_has_bars(const picture_rect& picture, int frame_width, int frame_height)
{
    return picture.width != frame_width || picture.height != frame_height;
}

void picture_apply(const picture_rect& picture, int frame_width, int frame_height)
{
    KST_PIXEL_SCALE = picture_scale(picture);
    glViewport(picture.x, picture.y, picture.width, picture.height);
    if (!picture_has_bars(picture, frame_width, frame_height))
        return;
    glScissor(picture.x, picture.y, picture.width, picture.height);
    picture_clear_bars(picture, frame_width, frame_height);
}

void picture_clear_bars(const picture_rect& picture, int frame_width, int frame_height)
{
    if (!picture_has_bars(picture, frame_width, frame_height))
        return;
    GLfloat colour[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, colour);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glClearColor(colour[0], colour[1], colour[2], colour[3]);
    glEnable(GL_SCISSOR_TEST);
}
