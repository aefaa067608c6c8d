// The status line at the top of the pane: each state in words that say what
// to do, and the line following a change while the pane is open.
#include "PrefsPane/MouseStatusLine.h"

#include "PrefsPane/PaneMainView.h"
#include "PrefsTestSupport.h"
#include "RecordingPaneServices.h"

#include <QSignalSpy>
#include <QTest>

namespace zed::test {
namespace {

struct StatusCase {
    const char* name;
    MouseStatus status;
    std::vector<const char*> says; // fragments of the line, in order
};

RecordingPaneServices& services() {
    return dynamic_cast<RecordingPaneServices&>(PaneServices::current());
}

// The line once it shows `status`.
MouseStatusLine* lineShowing(PaneMainView& view, const MouseStatus& status) {
    MouseStatusLine* line = view.statusLine();
    EXPECT_TRUE(QTest::qWaitFor([&] { return line->status() == status; }, 10000));
    return line;
}

class StatusLine : public PrefsTest, public testing::WithParamInterface<StatusCase> {};

TEST_P(StatusLine, SaysWhatReachesTheMouseAndWhatToDo) {
    services().setMouseStatus(GetParam().status);
    const QString text = lineShowing(showPane(), GetParam().status)->text();
    qsizetype at = 0;
    for (const char* fragment : GetParam().says) {
        at = text.indexOf(QString::fromUtf8(fragment), at);
        EXPECT_GE(at, 0) << "no \"" << fragment << "\" in: " << text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachState, StatusLine,
    testing::Values(
        StatusCase{"NoDriver",
                   {},
                   {"driver is not running", "sudo systemctl start zed-driver",
                    "agent is not running", "systemctl --user start zed-agent"}},
        StatusCase{"NoSimulator",
                   {.simulated = true},
                   {"simulated mouse is not running", "ZED_PLATFORM=simulator zed-agent"}},
        StatusCase{"NoMouse",
                   {.driverRunning = true, .agentRunning = true},
                   {"No ZED mouse is connected", "agent is running"}},
        StatusCase{"TwoMice", {.driverRunning = true, .mice = 2}, {"2 ZED mice are connected"}}),
    [](const testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

TEST_F(PrefsTest, TheStatusLineFollowsAChangeWhileThePaneIsOpen) {
    services().setMouseStatus({.driverRunning = true});
    MouseStatusLine* line = lineShowing(showPane(), {.driverRunning = true});
    const MouseStatus plugged{.driverRunning = true, .mice = 1, .agentRunning = true};
    services().setMouseStatus(plugged);
    // Within two rounds of asking, without anything done in the window.
    QSignalSpy changed(line, &MouseStatusLine::statusChanged);
    ASSERT_TRUE(changed.wait(3 * MouseStatusLine::kIntervalMs));
    EXPECT_TRUE(line->text().startsWith("A ZED mouse is connected")) << line->text().toStdString();
}

} // namespace
} // namespace zed::test
