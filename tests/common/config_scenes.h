// tests/common/config_scenes.h - small scenes built in memory for configuration tests.
//
// config_test_scene owns a KST_SCENE with the given numbers of materials and
// objects, named from the lists passed in, arrays cleared as the loader leaves
// them and released again by the destructor. Materials start as a prepared,
// untextured scene has them (TEXTURETYPE 24); objects carry a few vertices and
// faces so that geometry dumps have something to write. Header-only so that
// the fuzz targets can use it too.
#pragma once

#include <string>
#include <vector>

#include "engine/scene/records.h"
#include "support/mem.h"

struct config_test_scene {
    KST_SCENE scene{};

    config_test_scene(const std::vector<std::string>& materials,
                      const std::vector<std::string>& objects,
                      const std::vector<std::string>& lights = {})
    {
        scene.MATERIALS = static_cast<int32_t>(materials.size());
        scene.OBJECTS = static_cast<int32_t>(objects.size());
        if (!materials.empty())
            scene.MATERIAL = mem_array<KST_MATERIAL>(scene.MATERIALS, "config test materials");
        if (!objects.empty())
            scene.OBJ = mem_array<KST_OBJECT>(scene.OBJECTS, "config test objects");
        for (size_t i = 0; i < materials.size(); ++i) {
            kst_name_set(scene.MATERIAL[i].NAME, materials[i]);
            scene.MATERIAL[i].TEXTURETYPE = 24;
        }
        for (size_t i = 0; i < objects.size(); ++i)
            config_test_object(scene.OBJ[i], objects[i]);
        for (size_t i = 0; i < lights.size() && i < KST_LIGHTS; ++i)
            kst_name_set(scene.LIGHT[i].NAME, lights[i]);
    }

    ~config_test_scene()
    {
        for (int32_t i = 0; scene.OBJ && i < scene.OBJECTS; ++i) {
            mem_release(scene.OBJ[i].VERTEX);
            mem_release(scene.OBJ[i].FACE);
        }
        mem_release(scene.OBJ);
        mem_release(scene.MATERIAL);
        mem_release(scene.kst_object_bounds);  // a configuration applied prepares bounds
    }

    config_test_scene(const config_test_scene&) = delete;
    config_test_scene& operator=(const config_test_scene&) = delete;

    KST_MATERIAL& material(int i) { return scene.MATERIAL[i]; }
    KST_OBJECT&   object(int i) { return scene.OBJ[i]; }

private:
    // A triangle pair: four vertices, two faces.
    static void config_test_object(KST_OBJECT& o, const std::string& name)
    {
        kst_name_set(o.NAME, name);
        o.VISIBLE = 1;
        o.VERTICES = 4;
        o.FACES = 2;
        o.VERTEX = mem_array<KST_VECTOR>(4, "config test vertices");
        o.FACE = mem_array<KST_FACE>(2, "config test faces");
        o.VERTEX[0] = {1.0f, 0.0f, -0.5f};
        o.VERTEX[1] = {0.0f, 1.0f, 0.0f};
        o.VERTEX[2] = {-1.0f, 0.0f, 2.25f};
        o.VERTEX[3] = {0.0f, -1.0f, 1.0f / 3.0f};
        o.FACE[0] = {0, 1, 2};
        o.FACE[1] = {2, 3, 0};
    }
};
