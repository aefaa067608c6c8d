// Another program writes the settings while the pane is open (zed-defaults,
// the agent, a second settings window): the pane's next save puts only the
// keys the pane changed over what is on disk, so the other's write stays.
#include "PrefsTestSupport.h"

#include <optional>

namespace zed::test {
namespace {

struct OtherWrite {
    const char* name;
    const char* key;
    std::optional<Value> value; // empty: the other program removed the key
};

void PrintTo(const OtherWrite& write, std::ostream* out) {
    *out << write.name;
}

class OtherWriters : public PrefsTest, public testing::WithParamInterface<OtherWrite> {
protected:
    void SetUp() override {
        PrefsTest::SetUp();
        storeAsAgent(agentDefaults());
    }
    // As a second process does it: a domain object of its own on the same folder.
    void writeAsOtherProgram(const OtherWrite& write) const {
        FilePreferenceDomains other(folder());
        other.setValue(kDomain, write.key, write.value);
        ASSERT_TRUE(other.synchronize(kDomain));
    }
    void expectKept(const OtherWrite& write, const Dictionary& where, const char* what) {
        const Value* value = lookup(where, write.key);
        if (write.value) {
            ASSERT_NE(value, nullptr) << what;
            EXPECT_EQ(*value, *write.value) << what;
        } else {
            EXPECT_EQ(value, nullptr) << what;
        }
    }
};

TEST_P(OtherWriters, TheirChangeSurvivesEachSaveOfThePane) {
    showPane();
    writeAsOtherProgram(GetParam());

    pane->setOrientation(1);
    expectKept(GetParam(), onDisk(), "on disk after a setting's save");
    expectKept(GetParam(), posts.back().userInfo, "told to the agent");
    EXPECT_EQ(*onDisk("Orientation"), Value(std::int32_t{1})) << "the pane's own change";

    pane->button2Mapping()->setMapType(ButtonMapping::kOnTheFlySensitivity);
    expectKept(GetParam(), onDisk(), "on disk after a mapping's save");
    EXPECT_EQ(*onDisk("Orientation"), Value(std::int32_t{1}));
    ASSERT_NE(onDisk("ButtonMappings"), nullptr);
    EXPECT_EQ(onDisk("ButtonMappings")->asArray()->at(1), Value(Data{7}));
}

INSTANTIATE_TEST_SUITE_P(
    Writes, OtherWriters,
    testing::Values(OtherWrite{"WheelSpeedAsFloat", "ScrollWheelSpeed", Value(3.0)},
                    OtherWrite{"Resolution", "Resolution", Value(std::int32_t{800})},
                    OtherWrite{"KeyThePaneDoesNotKnow", "SomethingNewer", Value("kept")},
                    OtherWrite{"RemovedKey", "NumButtons", std::nullopt}),
    [](const testing::TestParamInfo<OtherWrite>& info) { return std::string(info.param.name); });

} // namespace
} // namespace zed::test
