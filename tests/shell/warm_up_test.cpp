// The warm-up before the show (invisible frames of every segment) leaves the
// scenes as it found them, skinned objects too: they come back in their rest
// shape, holding no pose of the warm-up's frames and no arrays of their own.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/render/particles.h"
#include "engine/scene/loader.h"
#include "engine/scene/prepare.h"
#include "gl_fixture.h"
#include "process.h"
#include "shell/clock.h"
#include "shell/score.h"
#include "shell/shell.h"
#include "shell/warm_up.h"

namespace {

class WarmUp : public gl_test {
protected:
    void TearDown() override
    {
        for (KST_SCENE& s : SHELL_SCENES) {
            KST_PARTICLES_FREE(s);
            KST_SCENE_FREE(s);
            s = KST_SCENE{};
        }
    }
};

}  // namespace

TEST_F(WarmUp, SkinnedObjectsComeBackInTheirRestShape)
{
    std::string dir = test_temp_dir("warm-up-skin");
    program_result r = run_program(kestrel_path(), {"import", "/work/shared/models/Fox.glb", "-o", dir + "/fox.kst"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (KST_SCENE& s : SHELL_SCENES)
        KST_SCENE_LOAD(s, dir + "/fox.kst");
    const KST_OBJECT& fox = SHELL_SCENES[0].OBJ[0];
    std::vector<KST_VECTOR> rest(fox.VERTEX, fox.VERTEX + fox.VERTICES);
    clock_set_virtual(true);
    SHOW = score_builtin();
    shell_warm_up();
    for (const KST_SCENE& s : SHELL_SCENES) {
        const KST_OBJECT& o = s.OBJ[0];
        EXPECT_EQ(o.kst_rest_vertex, nullptr);
        EXPECT_EQ(std::memcmp(o.VERTEX, rest.data(), rest.size() * sizeof(KST_VECTOR)), 0);
    }
}
