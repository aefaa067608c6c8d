// A view that plays an animation, and replays it from its first frame when the
// user double-clicks it: the sensitivity page's test of the double-click
// speed. Only a double-click within the double-click interval in force (the
// one the user set, else the desktop's) counts; a single click, and a third
// click of the same series, do nothing at all.
#pragma once

#include <QLabel>
#include <QPointF>
#include <functional>
#include <optional>

class QMovie;

class CustomMovieView : public QLabel {
    Q_OBJECT

public:
    explicit CustomMovieView(QWidget* parent = nullptr);
    ~CustomMovieView() override;

    // The movie is not owned; it keeps its frames from now on. Each run plays it once and stops at
    // its last frame, whatever loop count the file asks for.
    void setMovie(QMovie* movie);
    QMovie* movie() const;

    // Shows the movie's last frame, held.
    void gotoEnd();
    // Shows the first frame, held.
    void gotoBeginning();
    // Plays from the frame shown.
    void start();

    // The longest time in milliseconds from one press to the next of a
    // double-click; empty follows the desktop's (Qt's) interval. The view
    // counts clicks itself, as the interval set may be longer or shorter
    // than the one Qt uses to report double-clicks.
    void setDoubleClickInterval(std::optional<int> milliseconds);
    int doubleClickInterval() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void frameShown(int frame);
    void showFrame(const std::function<int(const QMovie&)>& frame);
    // A press of a button, whether Qt reported it as a double-click or not.
    void pressed(QMouseEvent* event);

    std::optional<int> fDoubleClickInterval;
    // The series of left clicks so far: its length and its last press.
    int fClickCount = 0;
    quint64 fLastPressTime = 0;
    QPointF fLastPressAt;
};
