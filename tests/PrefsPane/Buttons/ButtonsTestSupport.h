// The buttons page in a pane world of fakes: the page attached to a container
// of the test's own, key events as X11 delivers them, a known keyboard
// layout, and the system log captured.
#pragma once

#include "PaneTestSupport.h"
#include "Platform/core/Log.h"
#include "Platform/keyboard/KeyboardLayout.h"
#include "PrefsPane/Buttons/ButtonsController.h"
#include "PrefsPane/Buttons/ButtonsPage.h"
#include "PrefsPane/Buttons/KeyInputPanel.h"
#include "PrefsPane/PaneMainView.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTimer>
#include <functional>
#include <linux/input-event-codes.h>

namespace zed::test {

inline const QString kDown = QString(QChar(0x2193));
inline const QString kUp = QString(QChar(0x2191));

// A key event as Qt delivers it on X11: the native scan code is evdev + 8.
inline void sendKey(QWidget* target, QEvent::Type type, std::uint16_t evdev,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false) {
    QKeyEvent event(type, Qt::Key_unknown, modifiers, evdev + 8u, 0, 0, QString(), autoRepeat);
    QCoreApplication::sendEvent(target, &event);
}
inline void press(QWidget* target, std::uint16_t evdev,
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false) {
    sendKey(target, QEvent::KeyPress, evdev, modifiers, autoRepeat);
}
inline void release(QWidget* target, std::uint16_t evdev,
                    Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false) {
    sendKey(target, QEvent::KeyRelease, evdev, modifiers, autoRepeat);
}

// Runs `whileOpen` once the next modal run has started (the first thing its
// event loop does), then returns at once: the caller then opens the dialog.
inline void whenDialogOpens(std::function<void()> whileOpen) {
    QTimer::singleShot(0, std::move(whileOpen));
}

class ButtonsPageTest : public PaneTest {
protected:
    void SetUp() override {
        PaneTest::SetUp();
        auto us = XkbKeyboardLayout::fromNames({"evdev", "pc105", "us", "", ""});
        ASSERT_TRUE(us) << "xkb-data has no US layout";
        KeyboardLayout::install(std::move(us));
        previousSink_ = setSystemLogSink([this](const std::string& line) { log.push_back(line); });
    }

    void TearDown() override {
        container.reset();
        setSystemLogSink(std::move(previousSink_));
        KeyboardLayout::install(nullptr);
        PaneTest::TearDown();
    }

    // The pane as the settings application shows it, with the buttons page in
    // a container of the test's own: settings loaded, interface woken, then
    // selected (which saves once and so gives the page its orientation).
    void showPage(bool select = true) {
        pane = makeTovikCopperhoundPane();
        pane->initPrefs();
        container = std::make_unique<QWidget>();
        AttachButtonsPage(container.get(), pane.get());
        controller = qobject_cast<ButtonsController*>(pane->buttonsController());
        ASSERT_NE(controller, nullptr);
        if (select) {
            pane->willSelect();
        }
    }

    KeyInputPanel& assignKeyPanel() { return *controller->assignKeyPanel(); }
    KeyInputPanel& macroPanel() { return *controller->macroPanel(); }
    ButtonMapping& current() { return *pane->currentMapping(); }

    // The page's map-type pop-up of a button (0-6).
    QComboBox* popUp(int button) {
        const auto boxes = container->findChildren<QComboBox*>();
        for (QComboBox* box : boxes) {
            bool ok = false;
            if (box->property("tag").toInt(&ok) == button && ok && box->count() == 8) {
                return box;
            }
        }
        return nullptr;
    }
    // The user picks a map type from a button's pop-up.
    void pick(int button, int mapType) {
        QComboBox* box = popUp(button);
        ASSERT_NE(box, nullptr);
        box->setCurrentIndex(mapType);
        emit box->activated(mapType);
    }

    std::unique_ptr<QWidget> container;
    ButtonsController* controller = nullptr;
    std::vector<std::string> log;

private:
    SystemLogSink previousSink_;
};

} // namespace zed::test
