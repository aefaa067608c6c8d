// A view that plays an animation, and replays it from its first frame when the
// user double-clicks it: the sensitivity page's test of the double-click
// speed. Only a double-click that the desktop recognises at its double-click
// interval counts; a single click, and a third click of the same series, do
// nothing at all.
#pragma once

#include <QLabel>
#include <functional>

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

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void frameShown(int frame);
    void showFrame(const std::function<int(const QMovie&)>& frame);
};
