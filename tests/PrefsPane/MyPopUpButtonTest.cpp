// The key-forwarding pop-up: its window receives every key press typed while
// it has the focus, once, and no key operates the pop-up itself.
#include "PrefsPane/Buttons/MyPopUpButton.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

namespace zed::test {
namespace {

// A window that records key presses, Tab included, like a key capture panel.
class Recorder : public QDialog {
public:
    std::vector<int> keys;
    std::vector<quint32> scanCodes;

protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return QDialog::event(event);
        }
        auto* key = static_cast<QKeyEvent*>(event);
        keys.push_back(key->key());
        scanCodes.push_back(key->nativeScanCode());
        return true;
    }
};

class PopUp : public testing::Test {
protected:
    void SetUp() override {
        popUp = new MyPopUpButton(&window);
        popUp->addItems({"F1", "F2", "F3"});
        window.show();
        popUp->setFocus();
    }
    Recorder window;
    MyPopUpButton* popUp = nullptr;
};

TEST_F(PopUp, KeysGoToItsWindowOnce) {
    QTest::keyClick(popUp, Qt::Key_A);
    QTest::keyClick(popUp, Qt::Key_Escape);
    QTest::keyClick(popUp, Qt::Key_Return);
    EXPECT_EQ(window.keys, (std::vector<int>{Qt::Key_A, Qt::Key_Escape, Qt::Key_Return}));
    EXPECT_TRUE(window.isVisible()); // Escape did not reach the dialog's own handling
}

TEST_F(PopUp, WindowSeesTheEventAsTyped) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_S, Qt::ShiftModifier, 39 + 8, 1, 0, "S");
    QCoreApplication::sendEvent(popUp, &press);
    ASSERT_EQ(window.keys.size(), 1u);
    EXPECT_EQ(window.scanCodes[0], 47u);
    EXPECT_TRUE(press.isAccepted());
}

TEST_F(PopUp, NoKeyOpensOrChangesIt) {
    for (Qt::Key key :
         {Qt::Key_Down, Qt::Key_Up, Qt::Key_Space, Qt::Key_F4, Qt::Key_End, Qt::Key_PageDown}) {
        QTest::keyClick(popUp, key);
    }
    QTest::keyClick(popUp, Qt::Key_Down, Qt::AltModifier);
    QTest::keyClick(popUp, Qt::Key_F);
    EXPECT_FALSE(popUp->view()->isVisible());
    EXPECT_EQ(popUp->currentIndex(), 0);
    EXPECT_EQ(window.keys,
              (std::vector<int>{Qt::Key_Down, Qt::Key_Up, Qt::Key_Space, Qt::Key_F4, Qt::Key_End,
                                Qt::Key_PageDown, Qt::Key_Alt, Qt::Key_Down, Qt::Key_F}));
}

TEST_F(PopUp, TabIsRecordedAndKeepsTheFocus) {
    auto* other = new MyPopUpButton(&window);
    other->show();
    popUp->setFocus();
    QTest::keyClick(popUp, Qt::Key_Tab);
    QTest::keyClick(popUp, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(window.keys, (std::vector<int>{Qt::Key_Tab, Qt::Key_Shift, Qt::Key_Backtab}));
    EXPECT_EQ(window.focusWidget(), popUp);
}

TEST_F(PopUp, MouseStillOpensIt) {
    popUp->showPopup();
    EXPECT_TRUE(popUp->view()->isVisible());
    popUp->hidePopup();
}

TEST(PopUpAlone, AsItsOwnWindowItDropsKeys) {
    MyPopUpButton popUp;
    popUp.addItems({"a", "b"});
    popUp.show();
    QTest::keyClick(&popUp, Qt::Key_Down); // must not loop back into itself
    EXPECT_EQ(popUp.currentIndex(), 0);
}

} // namespace
} // namespace zed::test
