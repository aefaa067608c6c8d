// The agent's modules are found where the build puts them, relative to the
// program, with the entries the agent asks for; what is missing is said.
#include "Platform/core/Modules.h"

#include "Platform/desktop/GSettingsModule.h"
#include "Platform/overlay/SensDisplay.h"

#include <gtest/gtest.h>

namespace zed::test {
using namespace zed;

TEST(Modules, TheOverlayAndGSettingsModulesLoadWithTheirEntries) {
    EXPECT_NE(moduleSymbol(kSensDisplayModule, kSensDisplayEntry), nullptr);
    EXPECT_NE(moduleSymbol(kGSettingsModule, kDoubleClickEntry), nullptr);
    EXPECT_NE(moduleSymbol(kGSettingsModule, kGnomePointerEntry), nullptr);
    EXPECT_NE(moduleSymbol(kGSettingsModule, kGnomeSchemaEntry), nullptr);

    testing::internal::CaptureStderr();
    EXPECT_EQ(moduleSymbol(kGSettingsModule, "zed_no_such_entry"), nullptr);
    EXPECT_EQ(moduleSymbol("zed-no-such-module.so", kDoubleClickEntry), nullptr);
    EXPECT_EQ(moduleSymbol("zed-no-such-module.so", kDoubleClickEntry), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("has no zed_no_such_entry"), std::string::npos) << err;
    EXPECT_NE(err.find("cannot load the module"), std::string::npos) << err;
    EXPECT_EQ(err.find("cannot load the module"), err.rfind("cannot load the module"))
        << "a missing module is said once: " << err;
}

// GNOME's pointer settings come from the module too: the schema the test
// machine has (gsettings-desktop-schemas) is found through it, and the
// control it makes answers like the one linked in.
TEST(Modules, GnomePointerSettingsComeFromTheGSettingsModule) {
    EXPECT_TRUE(gnomeMouseSchemaInstalled());
    EXPECT_NE(makeGnomePointerControl(), nullptr);
}

} // namespace zed::test
