#include "MyPopUpButton.h"

#include <QCoreApplication>
#include <QKeyEvent>

MyPopUpButton::MyPopUpButton(QWidget* parent) : QComboBox(parent) {}

MyPopUpButton::~MyPopUpButton() = default;

bool MyPopUpButton::event(QEvent* event) {
    if (forwardsKeys_ && event->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QComboBox::event(event);
}

void MyPopUpButton::keyPressEvent(QKeyEvent* event) {
    if (!forwardsKeys_) {
        QComboBox::keyPressEvent(event);
        return;
    }
    QWidget* target = window();
    if (target && target != this) {
        QCoreApplication::sendEvent(target, event);
    }
    // Taken here either way: unaccepted, it would travel up to the window a
    // second time.
    event->accept();
}
