// While the pane is open the agent stores new sensitivities after each
// on-the-fly step. The pane takes those three values into its copy and its
// controls as the file changes; its next save does not put the old ones back.
#include "Platform/core/ApplicationSettings.h"
#include "PrefsTestSupport.h"

#include <QDoubleSpinBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <atomic>
#include <functional>
#include <thread>
#include <utility>

namespace zed::test {
namespace {

// One on-the-fly step as the agent saves it: the three values, nothing else.
Dictionary agentStep(double overall, double x, double y) {
    return {{"Sensitivity", Value(overall)},
            {"MasterSensitivityX", Value(x)},
            {"MasterSensitivityY", Value(y)}};
}

// Settings files where the agent gets in just before each write of this
// process: its step lands between the pane's look at the file and the pane's
// save, which is where a save that reads outside the writer's lock loses it.
class AgentStepsBeforeEachWrite : public FilePreferenceDomains {
public:
    using FilePreferenceDomains::FilePreferenceDomains;
    std::function<void()> agentStep;

protected:
    bool store(const std::string& domain, const std::string& user, const Change& change) override {
        if (agentStep) {
            agentStep();
        }
        return FilePreferenceDomains::store(domain, user, change);
    }
};

class AgentSensitivities : public PrefsTest {
protected:
    void SetUp() override {
        PrefsTest::SetUp();
        Dictionary stored = agentDefaults();
        stored["Sensitivity"] = Value(5.0);
        stored["MasterSensitivityX"] = Value(4.0);
        stored["MasterSensitivityY"] = Value(3.0);
        storeAsAgent(stored);
    }
};

TEST_F(AgentSensitivities, NextSaveKeepsTheAgentsSteps) {
    showPane();
    storeAsAgent(agentStep(5.2, 4.2, 3.2));
    // The user changes something else before the pane has heard of the file.
    QTest::keyClick(control<QRadioButton>("leftHandRadio"), Qt::Key_Space);

    EXPECT_EQ(*onDisk("Orientation"), Value(std::int32_t{1}));
    EXPECT_EQ(*onDisk("Sensitivity"), Value(5.2));
    EXPECT_EQ(*onDisk("MasterSensitivityX"), Value(4.2));
    EXPECT_EQ(*onDisk("MasterSensitivityY"), Value(3.2));
    // The agent is told the values it has, not the pane's old ones.
    EXPECT_EQ(*lookup(posts.back().userInfo, "Sensitivity"), Value(5.2));
    EXPECT_DOUBLE_EQ(pane->sensitivity(), 5.2);
}

TEST_F(AgentSensitivities, ControlsFollowTheFileAsTheAgentWritesIt) {
    showPane();
    QSignalSpy changed(pane.get(), &TovikCopperhoundPref::settingsChanged);
    storeAsAgent(agentStep(6.4, 4.0, 3.0));
    ASSERT_TRUE(changed.wait(10000)) << "the domain file was not watched";
    EXPECT_DOUBLE_EQ(control<QDoubleSpinBox>("sensitivitySpin")->value(), 6.4);
    EXPECT_EQ(control<QSlider>("sensitivitySlider")->value(), 32);
    // Taking the values is no change of the pane's: nothing saved or posted.
    EXPECT_EQ(posts.size(), 1u);
}

TEST_F(AgentSensitivities, UsersOwnChangeWinsForItsKey) {
    showPane();
    storeAsAgent(agentStep(5.2, 4.2, 3.2));
    pane->setSensitivity(7.0);
    EXPECT_EQ(*onDisk("Sensitivity"), Value(7.0));
    EXPECT_EQ(*onDisk("MasterSensitivityX"), Value(4.2));
    EXPECT_EQ(*onDisk("MasterSensitivityY"), Value(3.2));
}

TEST_F(AgentSensitivities, OtherKeysChangedOnDiskAreKeptByTheNextSave) {
    showPane();
    storeAsAgent({{"Resolution", Value(std::int32_t{3})}, {"Otfs", Value(std::int32_t{1})}});
    EXPECT_FALSE(pane->takeAgentSensitivities()) << "the file watch takes the sensitivities only";
    pane->setOrientation(1);
    EXPECT_EQ(*onDisk("Resolution"), Value(std::int32_t{3}));
    EXPECT_EQ(*onDisk("Otfs"), Value(std::int32_t{1}));
}

TEST_F(AgentSensitivities, PanesOwnSavesAreNotTakenForTheAgents) {
    showPane();
    pane->setMasterSensitivityX(9.0);
    EXPECT_FALSE(pane->takeAgentSensitivities());
    storeAsAgent(agentStep(5.0, 9.0, 3.0)); // what the pane already has
    EXPECT_FALSE(pane->takeAgentSensitivities());
    EXPECT_DOUBLE_EQ(pane->masterSensitivityX(), 9.0);
}

TEST_F(AgentSensitivities, StepIntoAnEmptyDomainIsTaken) {
    // A fresh pane saves only "Orientation"; the agent then adds its values.
    FilePreferenceDomains files(folder());
    files.removeDomain(kDomain);
    ASSERT_TRUE(files.synchronize(kDomain));
    showPane();
    storeAsAgent(agentStep(1.2, 1.0, 1.0));
    EXPECT_TRUE(pane->takeAgentSensitivities());
    EXPECT_DOUBLE_EQ(pane->sensitivity(), 1.2);
    pane->setOtfs(0);
    EXPECT_EQ(*onDisk("Sensitivity"), Value(1.2));
}

TEST_F(AgentSensitivities, ValuesThatAreNoNumbersAreLeftAlone) {
    showPane();
    storeAsAgent({{"Sensitivity", Value(std::string("fast"))}});
    EXPECT_FALSE(pane->takeAgentSensitivities());
    EXPECT_DOUBLE_EQ(pane->sensitivity(), 5.0);
}

TEST_F(AgentSensitivities, NothingIsTakenWhileThePaneIsNotLoaded) {
    showPane();
    pane->didUnselect();
    storeAsAgent(agentStep(8.0, 8.0, 8.0));
    EXPECT_FALSE(pane->takeAgentSensitivities());
    // Selected again, it reads the domain afresh anyway.
    pane->willSelect();
    EXPECT_DOUBLE_EQ(pane->sensitivity(), 8.0);
}

// The agent's step and the pane's save meet

class AgentStepDuringSave : public AgentSensitivities {
protected:
    void SetUp() override {
        AgentSensitivities::SetUp();
        auto files = std::make_unique<AgentStepsBeforeEachWrite>(folder());
        racing = files.get();
        Platform::current().setPreferences(std::move(files));
    }
    // From now on, each save of the pane is preceded by one more step of the
    // agent, written by a domain object of its own to the same file.
    void stepBeforeEachSave() {
        racing->agentStep = [this] {
            agentValue += 0.2;
            storeAsAgent(agentStep(agentValue, agentValue - 1.0, agentValue - 2.0));
        };
    }

    AgentStepsBeforeEachWrite* racing = nullptr;
    double agentValue = 5.0;
};

TEST_F(AgentStepDuringSave, NoStepIsLostAndTheAgentIsToldWhatWasWritten) {
    showPane();
    stepBeforeEachSave();
    for (int round = 0; round < 10; ++round) {
        pane->setOtfs(round % 2); // any change of the user's: a whole save
        SCOPED_TRACE(round);
        EXPECT_EQ(*onDisk("Sensitivity"), Value(agentValue));
        EXPECT_EQ(*lookup(posts.back().userInfo, "Sensitivity"), Value(agentValue));
        EXPECT_EQ(*onDisk("Otfs"), Value(std::int32_t{round % 2}));
        EXPECT_DOUBLE_EQ(pane->sensitivity(), agentValue);
    }
}

TEST_F(AgentStepDuringSave, AMappingSaveKeepsTheStepToo) {
    showPane();
    stepBeforeEachSave();
    pane->button2Mapping()->setMapType(ButtonMapping::kOnTheFlySensitivity);
    EXPECT_EQ(*onDisk("Sensitivity"), Value(agentValue));
    EXPECT_EQ(*lookup(posts.back().userInfo, "Sensitivity"), Value(agentValue));
    EXPECT_EQ(*lookup(posts.back().userInfo, "MasterSensitivityX"), Value(agentValue - 1.0));
}

TEST_F(AgentStepDuringSave, TheUsersOwnChangeStillWinsForItsKey) {
    showPane();
    stepBeforeEachSave();
    pane->setSensitivity(7.0);
    EXPECT_EQ(*onDisk("Sensitivity"), Value(7.0));
    EXPECT_EQ(*onDisk("MasterSensitivityX"), Value(agentValue - 1.0))
        << "the agent's step of the others";
    EXPECT_EQ(*lookup(posts.back().userInfo, "Sensitivity"), Value(7.0));
    EXPECT_EQ(*lookup(posts.back().userInfo, "MasterSensitivityY"), Value(agentValue - 2.0));
}

// The agent as another thread with a domain object of its own: each step reads
// the stored sensitivity and writes it one higher under the writer lock,
// while the pane saves again and again. A save that wrote an older value back
// would make a later step build on it, and the sum would come out short.
TEST_F(AgentSensitivities, StepsOfAnotherWriterAreNeverLostToTheSaves) {
    showPane();
    constexpr int kSteps = 60;
    std::atomic<bool> stepping{false};
    std::thread agent([this, &stepping] {
        FilePreferenceDomains files(folder());
        stepping = true;
        for (int i = 0; i < kSteps; ++i) {
            files.update(kDomain, [](std::optional<Dictionary> stored) {
                const Value* now = stored ? lookup(*stored, "Sensitivity") : nullptr;
                const double value = now && now->toDouble() ? *now->toDouble() : 0.0;
                Dictionary next = stored.value_or(Dictionary{});
                next.insert_or_assign("Sensitivity", Value(value + 1.0));
                return std::optional<Dictionary>(std::move(next));
            });
        }
    });
    while (!stepping) {
        std::this_thread::yield();
    }
    for (int i = 0; i < kSteps; ++i) {
        pane->setOtfs(i % 2);
    }
    agent.join();
    EXPECT_EQ(*onDisk("Sensitivity"), Value(5.0 + kSteps));
    pane->setOtfs(1);
    EXPECT_EQ(*lookup(posts.back().userInfo, "Sensitivity"), Value(5.0 + kSteps));
}

// A step while a set is in force lands in that set: the pane shows it and its
// next save of the list keeps it.
TEST_F(AgentSensitivities, StepsIntoTheShownSetAreShownAndKeptByTheNextSave) {
    const auto stored = [](double sensitivity) {
        return Dictionary{{settings::kApplicationSettingsKey,
                           settings::storedSets({{"Game",
                                                  {"game1"},
                                                  {{"Sensitivity", Value(sensitivity)},
                                                   {"ScrollWheelSpeed", Value(3.0)}}}})}};
    };
    storeAsAgent(stored(8.0));
    showPane();
    pane->selectSet(0);
    QSignalSpy changed(pane.get(), &TovikCopperhoundPref::settingsChanged);
    storeAsAgent(stored(8.2));
    ASSERT_TRUE(changed.wait(10000)) << "the domain file was not watched";
    EXPECT_DOUBLE_EQ(pane->sensitivity(), 8.2);

    // Another step, then the user renames the set before the pane has heard.
    storeAsAgent(stored(8.4));
    pane->renameApplicationSet(0, "Game!");
    const auto sets = settings::readSets(onDisk(settings::kApplicationSettingsKey));
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].name, "Game!");
    EXPECT_EQ(*lookup(sets[0].overrides, "Sensitivity"), Value(8.4));
    EXPECT_EQ(*lookup(sets[0].overrides, "ScrollWheelSpeed"), Value(3.0));
}

} // namespace
} // namespace zed::test
