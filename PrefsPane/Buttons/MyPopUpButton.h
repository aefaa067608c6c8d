// A pop-up button that hands every key press to its window and never opens or
// changes by key, so that a key capture panel records the keys typed while
// the pop-up has the focus as if the panel itself had received them.
#pragma once

#include <QComboBox>

class MyPopUpButton : public QComboBox {
    Q_OBJECT

public:
    explicit MyPopUpButton(QWidget* parent = nullptr);
    ~MyPopUpButton() override;

    // Off, the pop-up takes its keys as any pop-up does (a key panel that
    // records only while its Record button is on catches them itself).
    void setForwardsKeys(bool forwards) { forwardsKeys_ = forwards; }
    bool forwardsKeys() const { return forwardsKeys_; }

protected:
    // Tab and Backtab too, which widgets otherwise spend on moving the focus.
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool forwardsKeys_ = true;
};
