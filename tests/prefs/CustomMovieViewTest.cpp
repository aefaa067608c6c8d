// The double-click test view: only a left double-click plays the animation,
// always from its first frame.
#include "CustomMovieView.h"

#include "PaneBundle.h"

#include <QMovie>
#include <QTest>
#include <gtest/gtest.h>

namespace {

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
    // Waits (at most ten seconds) until the movie has moved past its start.
    bool playedOn() {
        return QTest::qWaitFor([this] { return movie->currentFrameNumber() >= 3; }, 10000);
    }

    CustomMovieView view;
    std::unique_ptr<QMovie> movie;
};

TEST_F(MovieView, ShowsTheLastFrameAtRest) {
    EXPECT_GT(movie->frameCount(), 3);
    EXPECT_EQ(movie->currentFrameNumber(), last());
    EXPECT_NE(movie->state(), QMovie::Running);
    EXPECT_EQ(view.movie(), movie.get());
}

TEST_F(MovieView, DoubleClickPlaysFromTheFirstFrameOnce) {
    QTest::mouseDClick(&view, Qt::LeftButton);
    EXPECT_EQ(movie->currentFrameNumber(), 0);
    EXPECT_EQ(movie->state(), QMovie::Running);
    // Plays through, then rests on its last frame.
    EXPECT_TRUE(QTest::qWaitFor([this] { return movie->state() != QMovie::Running; }, 10000));
    EXPECT_EQ(movie->currentFrameNumber(), last());
}

TEST_F(MovieView, SingleClicksDoNothing) {
    QTest::mouseClick(&view, Qt::LeftButton);
    QTest::mousePress(&view, Qt::LeftButton);
    QTest::mouseRelease(&view, Qt::LeftButton);
    EXPECT_EQ(movie->currentFrameNumber(), last());
    EXPECT_NE(movie->state(), QMovie::Running);
}

TEST_F(MovieView, ThirdClickOfTheSeriesDoesNotRestart) {
    QTest::mouseDClick(&view, Qt::LeftButton);
    ASSERT_TRUE(playedOn());
    const int reached = movie->currentFrameNumber();
    QTest::mousePress(&view, Qt::LeftButton);
    QTest::mouseRelease(&view, Qt::LeftButton);
    EXPECT_GE(movie->currentFrameNumber(), reached);
}

TEST_F(MovieView, DoubleClickWhilePlayingStartsAgain) {
    QTest::mouseDClick(&view, Qt::LeftButton);
    ASSERT_TRUE(playedOn());
    QTest::mouseDClick(&view, Qt::LeftButton);
    EXPECT_EQ(movie->currentFrameNumber(), 0);
    EXPECT_EQ(movie->state(), QMovie::Running);
}

TEST_F(MovieView, OtherButtonsDoNothing) {
    QTest::mouseDClick(&view, Qt::RightButton);
    QTest::mouseDClick(&view, Qt::MiddleButton);
    EXPECT_EQ(movie->currentFrameNumber(), last());
    EXPECT_NE(movie->state(), QMovie::Running);
}

TEST(MovieViewWithoutMovie, IgnoresEverything) {
    CustomMovieView view;
    view.gotoEnd();
    view.gotoBeginning();
    view.start();
    QTest::mouseDClick(&view, Qt::LeftButton);
    EXPECT_EQ(view.movie(), nullptr);
}

} // namespace
