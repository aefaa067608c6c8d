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

std::ostream& operator<<(std::ostream& os, const StatusCase& c) {
    return os << c.name;
}

RecordingPaneServices& services() {
    return dynamic_cast<RecordingPaneServices&>(PaneServices::current());
}

class StatusLine : public PrefsTest, public testing::WithParamInterface<StatusCase> {};
class LiveStatusLine : public PrefsTest {};

TEST_P(StatusLine, SaysWhatReachesTheMouseAndWhatToDo) {
    const StatusCase& c = GetParam();
    services().setMouseStatus(c.status);
    PaneMainView& view = showPane();
    MouseStatusLine* line = view.statusLine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return line->status() == c.status; }, 10000));
    const QString text = line->text();
    qsizetype at = 0;
    for (const char* fragment : c.says) {
        at = text.indexOf(QString::fromUtf8(fragment), at);
        EXPECT_GE(at, 0) << "no \"" << fragment << "\" in: " << text.toStdString();
    }
    EXPECT_EQ(line->accessibleName(), "Status");
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
        StatusCase{"OneMouse", {.driverRunning = true, .mice = 1}, {"A ZED mouse is connected"}},
        StatusCase{"TwoMice",
                   {.driverRunning = true, .mice = 2, .agentRunning = true},
                   {"2 ZED mice are connected", "agent is running"}}),
    [](const testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

TEST_F(LiveStatusLine, FollowsPluggingAndTheAgentWhileOpen) {
    services().setMouseStatus({.driverRunning = true});
    PaneMainView& view = showPane();
    MouseStatusLine* line = view.statusLine();
    ASSERT_TRUE(QTest::qWaitFor([&] { return line->status().has_value(); }, 10000));
    QSignalSpy changed(line, &MouseStatusLine::statusChanged);

    services().setMouseStatus({.driverRunning = true, .mice = 1, .agentRunning = true});
    // Within two rounds of asking, without anything done in the window.
    ASSERT_TRUE(changed.wait(3 * MouseStatusLine::kIntervalMs));
    EXPECT_TRUE(line->text().startsWith("A ZED mouse is connected")) << line->text().toStdString();
    // The same answer again changes nothing.
    EXPECT_FALSE(changed.wait(2 * MouseStatusLine::kIntervalMs));
}

} // namespace
} // namespace zed::test
