// The double-click test view: only a left double-click at the double-click
// speed in force plays the animation, always from its first frame.
#include "PrefsPane/Sensitivity/CustomMovieView.h"

#include "PrefsPane/Services/PaneBundle.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QMovie>
#include <QStyleHints>
#include <QTest>
#include <gtest/gtest.h>

namespace zed::test {
namespace {

// One click as the window system delivers it, at `time` milliseconds: a press
// (or, when Qt took it for the second click of a double-click at its own
// interval, a double-click event) and a release.
void clickAt(QWidget& view, ulong time, QEvent::Type pressType = QEvent::MouseButtonPress,
             Qt::MouseButton button = Qt::LeftButton, QPoint at = QPoint(10, 10)) {
    const QPointF local(at);
    const QPointF global(view.mapToGlobal(at));
    QMouseEvent down(pressType, local, global, button, button, Qt::NoModifier);
    down.setTimestamp(time);
    QCoreApplication::sendEvent(&view, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton, Qt::NoModifier);
    up.setTimestamp(time + 1);
    QCoreApplication::sendEvent(&view, &up);
}

class MovieView : public testing::Test {
protected:
    void SetUp() override {
        const zed::PaneBundle bundle({}, zed::PaneBundle::embeddedInfo());
        movie = std::make_unique<QMovie>(bundle.pathForResource("doubleclick", "gif"));
        ASSERT_TRUE(movie->isValid());
        view.setMovie(movie.get());
        view.gotoEnd();
        view.show();
    }
    int last() const { return movie->frameCount() - 1; }
    bool atRest() const {
        return movie->currentFrameNumber() == last() && movie->state() != QMovie::Running;
    }
    bool playingFromTheStart() const {
        return movie->currentFrameNumber() == 0 && movie->state() == QMovie::Running;
    }
    // Waits (at most ten seconds) until the movie has moved past its start.
    bool playedOn() {
        return QTest::qWaitFor([this] { return movie->currentFrameNumber() >= 3; }, 10000);
    }
    // Two clicks `apart` milliseconds apart, long after any earlier click.
    void doubleClick(ulong apart, QEvent::Type second = QEvent::MouseButtonPress) {
        clock += 100000;
        clickAt(view, clock);
        clock += apart;
        clickAt(view, clock, second);
    }

    CustomMovieView view;
    std::unique_ptr<QMovie> movie;
    ulong clock = 0;
};

TEST_F(MovieView, ShowsTheLastFrameAtRest) {
    EXPECT_GT(movie->frameCount(), 3);
    EXPECT_TRUE(atRest());
    EXPECT_EQ(view.movie(), movie.get());
}

TEST_F(MovieView, DoubleClickPlaysFromTheFirstFrameOnce) {
    doubleClick(100, QEvent::MouseButtonDblClick);
    EXPECT_TRUE(playingFromTheStart());
    // Plays through, then rests on its last frame.
    EXPECT_TRUE(QTest::qWaitFor([this] { return movie->state() != QMovie::Running; }, 10000));
    EXPECT_EQ(movie->currentFrameNumber(), last());
}

TEST_F(MovieView, SingleClicksDoNothing) {
    clickAt(view, 1000);
    clickAt(view, 100000);
    EXPECT_TRUE(atRest());
}

TEST_F(MovieView, ThirdClickOfTheSeriesDoesNotRestart) {
    doubleClick(100);
    ASSERT_TRUE(playedOn());
    const int reached = movie->currentFrameNumber();
    clickAt(view, clock + 100);
    EXPECT_GE(movie->currentFrameNumber(), reached);
}

TEST_F(MovieView, DoubleClickWhilePlayingStartsAgain) {
    doubleClick(100);
    ASSERT_TRUE(playedOn());
    doubleClick(100);
    EXPECT_TRUE(playingFromTheStart());
}

TEST_F(MovieView, OtherButtonsDoNothing) {
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        clickAt(view, 1000, QEvent::MouseButtonPress, button);
        clickAt(view, 1100, QEvent::MouseButtonDblClick, button);
    }
    EXPECT_TRUE(atRest());
    // Nor do they make half of a left double-click.
    clickAt(view, 5000, QEvent::MouseButtonPress, Qt::RightButton);
    clickAt(view, 5100);
    EXPECT_TRUE(atRest());
}

TEST_F(MovieView, ClicksApartAreNoDoubleClick) {
    clickAt(view, 1000);
    clickAt(view, 1100, QEvent::MouseButtonPress, Qt::LeftButton, QPoint(60, 60));
    EXPECT_TRUE(atRest()) << "far from the first click";
}

// The interval is the one the user set, not the desktop's of the moment.

TEST_F(MovieView, TheIntervalGivenDecidesWhatIsADoubleClick) {
    view.setDoubleClickInterval(600);
    EXPECT_EQ(view.doubleClickInterval(), 600);
    doubleClick(650);
    EXPECT_TRUE(atRest()) << "650 ms is slower than 600";
    doubleClick(550);
    EXPECT_TRUE(playingFromTheStart()) << "550 ms is within 600";

    view.gotoEnd();
    view.setDoubleClickInterval(200);
    // Qt's own interval may still be longer: its double-click event alone
    // does not make one.
    doubleClick(300, QEvent::MouseButtonDblClick);
    EXPECT_TRUE(atRest());
    doubleClick(150);
    EXPECT_TRUE(playingFromTheStart());

    view.gotoEnd();
    view.setDoubleClickInterval(0);
    doubleClick(1);
    EXPECT_TRUE(atRest()) << "no two clicks are quick enough for 0";
}

TEST_F(MovieView, WithoutAnIntervalTheDesktopsIsUsed) {
    const int desktop = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    ASSERT_GT(desktop, 10);
    EXPECT_EQ(view.doubleClickInterval(), desktop);
    view.setDoubleClickInterval(900);
    view.setDoubleClickInterval(std::nullopt);
    EXPECT_EQ(view.doubleClickInterval(), desktop);
    doubleClick(static_cast<ulong>(desktop) + 5);
    EXPECT_TRUE(atRest());
    doubleClick(static_cast<ulong>(desktop) - 5);
    EXPECT_TRUE(playingFromTheStart());
}

TEST(MovieViewWithoutMovie, IgnoresEverything) {
    CustomMovieView view;
    view.gotoEnd();
    view.gotoBeginning();
    view.start();
    clickAt(view, 1000);
    clickAt(view, 1050, QEvent::MouseButtonDblClick);
    EXPECT_EQ(view.movie(), nullptr);
}

} // namespace
} // namespace zed::test
