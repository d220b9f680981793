// engine/scene/records.cpp - name conversions and small record helpers.
#include "engine/scene/records.h"

#include <cstring>

std::string kst_name_get(const KST_NAME& name)
{
    return std::string(name.TEXT, name.LEN);
}

void kst_name_set(KST_NAME& name, const std::string& text)
{
    size_t n = text.size() < 255 ? text.size() : 255;
    std::memset(name.TEXT, 0, sizeof(name.TEXT));
    std::memcpy(name.TEXT, text.data(), n);
    name.LEN = static_cast<uint8_t>(n);
}

bool kst_name_equals(const KST_NAME& name, const std::string& text)
{
    return text.size() == name.LEN && std::memcmp(name.TEXT, text.data(), name.LEN) == 0;
}

int64_t kst_scene_total_faces(const KST_SCENE& scene)
{
    int64_t total = 0;
    for (int32_t i = 0; i < scene.OBJECTS && scene.OBJ; ++i)
        total += scene.OBJ[i].FACES;
    return total;
}
