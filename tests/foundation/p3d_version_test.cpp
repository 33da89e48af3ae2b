#include "foundation/p3d_version.hpp"
#include "foundation/settings.hpp"

#include <gtest/gtest.h>

TEST(P3dVersion, installPathFirstThenTheVersionSetting)
{
    struct Case {
        const char* path;
        int setting;
        const char* expected;
    };
    for (const Case& c : {Case{"D:\\Prepar3D v5\\", 6, "5"}, Case{"/opt/P3DV5/", 6, "5"},
                          Case{"D:\\Prepar3D v6\\", 5, "6"}, Case{"/opt/p3dV6", 5, "6"},
                          Case{"D:\\v5v6", 6, "5"}, Case{"", 6, "6"}, Case{"D:\\Sim\\", 5, "5"}}) {
        SIM_INSTALL_PATH.setValue(c.path);
        P3D_VERSION.setValue(c.setting);
        EXPECT_EQ(gf_p3dVersionFromPath(), c.expected) << c.path;
    }
    SIM_INSTALL_PATH.setValue("");
    P3D_VERSION.setValue(5);
}
