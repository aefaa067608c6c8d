// A macro recorded in the key capture panel, from the keys typed to the keys
// the agent types: the real pane model and buttons page writing the real
// domain file and announcing it on the session bus, the real zed-agent, and
// the simulated mouse.
#include "AgentSimulatorTest.h"
#include "FakePlatform.h"
#include "Platform/core/PropertyList.h"
#include "Platform/dbus/Platform.h"
#include "PrefsPane/Buttons/ButtonsController.h"
#include "PrefsPane/Buttons/ButtonsPage.h"
#include "PrefsPane/Buttons/KeyInputPanel.h"
#include "PrefsPane/Model/TovikCopperhoundPref.h"
#include "PrefsPane/PaneMainView.h"
#include "PrefsPane/Services/PaneServices.h"
#include "RecordingPaneServices.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <optional>
#include <thread>

namespace zed::test {
namespace {

std::vector<std::string> show(const std::string& what) {
    return lines(sim({"show", what}).out);
}

// Driver records that carry a whole configuration (with the mappings).
std::size_t configurations() {
    std::size_t n = 0;
    for (const auto& r : show("driver")) {
        n += r.find("ButtonMappings") != std::string::npos ? 1 : 0;
    }
    return n;
}

void sendKey(QWidget* target, QEvent::Type type, std::uint16_t evdev,
             Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(type, Qt::Key_unknown, modifiers, evdev + 8u, 0, 0);
    QCoreApplication::sendEvent(target, &event);
}

class ButtonsEndToEnd : public AgentSimulatorTest {
protected:
    void TearDown() override {
        container.reset();
        pane.reset();
        PaneServices::install(nullptr);
        Platform::install(makeFakePlatform());
        AgentSimulatorTest::TearDown();
    }

    QTemporaryDir bundleDir;
    std::unique_ptr<TovikCopperhoundPref> pane;
    std::unique_ptr<QWidget> container;
};

TEST_F(ButtonsEndToEnd, AMacroRecordedInThePanelIsTypedWhenItsButtonIsPressed) {
    ASSERT_TRUE(agent.start());
    ASSERT_TRUE(waitFor([&] {
        return agent.out().find("Waiting for prefs changes...") != std::string::npos;
    })) << agent.err();
    ASSERT_EQ(sim({"plug"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return configurations() == 1; })) << agent.err();

    // The pane in this process, on the agent's domain and the same bus.
    const ScopedEnv config("XDG_CONFIG_HOME", agent.configHome());
    const ScopedEnv platform("ZED_PLATFORM", "simulator");
    Platform::install(Platform::makeDefault());
    PaneServices::install(std::make_unique<RecordingPaneServices>(std::make_unique<PaneBundle>(
        bundleDir.path(), PaneBundle::embeddedInfo(), QLocale(QLocale::English))));
    pane = makeTovikCopperhoundPane();
    pane->initPrefs();
    container = std::make_unique<QWidget>();
    AttachButtonsPage(container.get(), pane.get());
    pane->willSelect();
    auto* controller = qobject_cast<ButtonsController*>(pane->buttonsController());
    ASSERT_NE(controller, nullptr);
    ASSERT_TRUE(waitFor([&] { return configurations() == 2; })) << "the selection's save";

    // Button 2 becomes a key macro: Shift down, A down, A up, Shift up.
    QComboBox* button2 = nullptr;
    for (QComboBox* box : container->findChildren<QComboBox*>()) {
        if (box->property("tag").toInt() == 1 && box->count() == 8) {
            button2 = box;
        }
    }
    ASSERT_NE(button2, nullptr);
    QTimer::singleShot(0, [&] {
        KeyInputPanel* panel = controller->macroPanel();
        panel->recordButton()->click();
        sendKey(panel, QEvent::KeyPress, KEY_LEFTSHIFT);
        sendKey(panel, QEvent::KeyPress, KEY_A, Qt::ShiftModifier);
        sendKey(panel, QEvent::KeyRelease, KEY_A, Qt::ShiftModifier);
        sendKey(panel, QEvent::KeyRelease, KEY_LEFTSHIFT, Qt::ShiftModifier);
        panel->findChild<QPushButton*>("macroApplyButton")->click();
    });
    button2->setCurrentIndex(ButtonMapping::kKeyMacro);
    emit button2->activated(ButtonMapping::kKeyMacro);

    // On disk as the agent and the driver read it.
    auto stored = parsePropertyList(readFile(agent.domainFile()));
    ASSERT_TRUE(stored && stored->asDictionary());
    const Value* mappings = lookup(*stored->asDictionary(), "ButtonMappings");
    ASSERT_TRUE(mappings && mappings->asArray() && mappings->asArray()->size() == 7);
    const std::string macro = "568,512,256,312";
    Data expected{4};
    expected.insert(expected.end(), macro.begin(), macro.end());
    EXPECT_EQ(mappings->asArray()->at(1), Value(expected));
    EXPECT_EQ(mappings->asArray()->at(0), Value(Data{0}));

    // The agent took the announcement and handed the driver the same bytes.
    std::string hex;
    for (std::uint8_t b : expected) {
        static constexpr char kHex[] = "0123456789abcdef";
        hex += kHex[b >> 4];
        hex += kHex[b & 0xF];
    }
    ASSERT_TRUE(waitFor([&] {
        const auto records = show("driver");
        return !records.empty() && records.back().find(hex) != std::string::npos;
    })) << agent.err();
    ASSERT_TRUE(show("events").empty());
    ASSERT_EQ(sim({"press", "2"}).exitCode, 0);
    ASSERT_TRUE(waitFor([&] { return show("events").size() >= 5; })) << agent.err();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto events = show("events");
    ASSERT_EQ(events.size(), 5u) << "Shift, A down, A up, Shift, end of sequence";
    EXPECT_NE(events[0].find("\"type\":12"), std::string::npos) << events[0];
    EXPECT_NE(events[0].find("\"flags\":131072"), std::string::npos) << events[0];
    EXPECT_NE(events[1].find("\"type\":10"), std::string::npos) << events[1];
    EXPECT_NE(events[1].find("\"keyCode\":0"), std::string::npos) << events[1];
    EXPECT_NE(events[2].find("\"type\":11"), std::string::npos) << events[2];
    EXPECT_NE(events[2].find("\"keyCode\":0"), std::string::npos) << events[2];
    EXPECT_NE(events[3].find("\"type\":12"), std::string::npos) << events[3];
    EXPECT_NE(events[3].find("\"flags\":0"), std::string::npos) << events[3];
    EXPECT_NE(events[4].find("\"options\":1"), std::string::npos) << events[4];
}

} // namespace
} // namespace zed::test
