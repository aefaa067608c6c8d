// The buttons page says what each button does in words, lights the button
// being edited in the mouse picture, and names it in its dialogs; key names
// are the Linux desktop's, in the pane's language.
#include "ButtonsTestSupport.h"
#include "PrefsPane/Buttons/KeyNames.h"
#include "PrefsPane/Buttons/SummaryLabel.h"
#include "PrefsPane/Widgets/SettingsBinder.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>

namespace zed::test {
namespace {

// Mapping data written out byte for byte.
Data raw(const std::string& bytes) {
    return Data(bytes.begin(), bytes.end());
}

const QString kMacroShown = kDown + "Ctrl " + kDown + "C " + kUp + "C " + kUp + "Ctrl";

class ButtonSummaries : public ButtonsPageTest {
protected:
    SummaryLabel* summary(int button) {
        return qobject_cast<SummaryLabel*>(viewWithTag(container.get(), 100 + button));
    }
    void useGerman() {
        PaneServices::install(std::make_unique<RecordingPaneServices>(std::make_unique<PaneBundle>(
            bundleDir.path(), PaneBundle::embeddedInfo(), QLocale(QLocale::German))));
    }
};

TEST_F(ButtonSummaries, EveryMapTypeIsSaidInWords) {
    // C is virtual key 8, Ctrl 59, Alt 58, Delete 117.
    store({{"ButtonMappings",
            Value(Array{Value(Data{0}), Value(Data{1}), Value(Data{2}),
                        Value(raw("\x03"
                                  "520,571")),
                        Value(raw("\x04"
                                  "571,520,264,315")),
                        Value(Data{5}), Value(raw(std::string("\x06\x03") + "629,570,571")),
                        Value(Data{7})})}});
    showPage();
    const QStringList expected{"Primary click",
                               "Secondary click",
                               "Middle click",
                               "Ctrl+C",
                               kMacroShown,
                               "The button's own click",
                               "On-the-fly sensitivity, and Ctrl+Alt+Del"};
    for (int button = 0; button < 7; ++button) {
        ASSERT_NE(summary(button), nullptr) << button;
        EXPECT_EQ(summary(button)->fullText(), expected[button]) << "button " << button + 1;
        EXPECT_EQ(summary(button)->toolTip(), expected[button]);
    }
}

TEST_F(ButtonSummaries, EmptyAdvancedAndUnknownMappingsStillSaySomething) {
    store({{"ButtonMappings",
            Value(Array{Value(Data{0}), Value(Data{3}), Value(Data{4}), Value(Data{6}),
                        Value(Data{7}), Value(Data{9}), Value(raw("\x06\x04"))})}});
    showPage();
    EXPECT_EQ(summary(1)->fullText(), "No keys recorded");
    EXPECT_EQ(summary(2)->fullText(), "No keys recorded");
    EXPECT_EQ(summary(3)->fullText(), "On-the-fly sensitivity") << "no second mapping";
    EXPECT_EQ(summary(4)->fullText(), "On-the-fly sensitivity");
    EXPECT_EQ(summary(5)->fullText(), "Map type 9");
    EXPECT_EQ(summary(6)->fullText(), "On-the-fly sensitivity, and No keys recorded");
}

TEST_F(ButtonSummaries, TheSideButtonsOwnClicksAreBackAndForward) {
    store({{"ButtonMappings", Value(Array(7, Value(Data{5})))}});
    showPage();
    EXPECT_EQ(summary(3)->fullText(), "Back (the button's own click)");
    EXPECT_EQ(summary(4)->fullText(), "Forward (the button's own click)");
    EXPECT_EQ(popUp(3)->itemText(5), summary(3)->fullText()) << "the menu says the same";
    EXPECT_EQ(summary(2)->fullText(), "The button's own click");
    EXPECT_EQ(popUp(2)->itemText(5), "The button's own click");
}

TEST_F(ButtonSummaries, ACombinationNamesModifiersFirstInTheDesktopsOrder) {
    showPage();
    // Recorded as the panel does: the key, then the modifiers held with it.
    EXPECT_EQ(keyCombinationText("520,567,568,571"), "Ctrl+Shift+Super+C");
    EXPECT_EQ(keyCombinationText("512,566,570"), "Alt+Super+A") << "right Super, left Alt";
    EXPECT_EQ(keyCombinationText("561,623"), "Space+F12");
    EXPECT_EQ(keyCombinationText("571"), "Ctrl");
    EXPECT_EQ(keyCombinationText(""), "");
}

TEST_F(ButtonSummaries, ALongMacroIsShortenedWithItsWholeTextInTheTooltip) {
    QStringList items;
    for (int i = 0; i < 8; ++i) {
        items << QString::number(0x200 | i) << QString::number(0x100 | i);
    }
    store({{"ButtonMappings",
            Value(Array{Value(Data{0}), Value(raw("\x04" + items.join(',').toStdString())),
                        Value(Data{0}), Value(Data{0}), Value(Data{0}), Value(Data{0}),
                        Value(Data{0})})}});
    showPage();
    SummaryLabel* label = summary(1);
    const QString whole = kDown + "A " + kUp + "A " + kDown + "S " + kUp + "S";
    EXPECT_TRUE(label->fullText().startsWith(whole)) << qPrintable(label->fullText());
    EXPECT_EQ(label->fullText().count(' '), 15);
    label->resize(QFontMetrics(label->font()).horizontalAdvance(whole), label->height());
    EXPECT_TRUE(label->text().endsWith(QChar(0x2026))) << qPrintable(label->text());
    EXPECT_LT(label->text().size(), label->fullText().size());
    EXPECT_EQ(label->toolTip(), label->fullText());
    EXPECT_EQ(label->accessibleName(), label->fullText());
}

TEST_F(ButtonSummaries, ARecordingIsSaidOnThePageOnceItIsStored) {
    showPage();
    pick(1, 0); // two buttons with the primary click
    whenDialogOpens([&] {
        macroPanel().handleKeyDown(59);
        macroPanel().handleKeyDown(8);
        macroPanel().handleKeyUp(8);
        macroPanel().handleKeyUp(59);
        controller->applyMacroConfig();
    });
    pick(1, 4);
    EXPECT_EQ(summary(1)->fullText(), kMacroShown);
}

TEST_F(ButtonSummaries, KeyNamesAreTheDesktopsInEnglish) {
    showPage();
    const std::vector<std::pair<std::uint16_t, QString>> names{
        {55, "Super"},   {54, "Super"},  {58, "Alt"},   {61, "Alt"},       {59, "Ctrl"},
        {56, "Shift"},   {36, "Return"}, {49, "Space"}, {51, "Backspace"}, {57, "Caps Lock"},
        {123, "Left"},   {124, "Right"}, {125, "Down"}, {126, "Up"},       {116, "PgUp"},
        {121, "PgDown"}, {53, "Esc"},    {122, "F1"}};
    for (const auto& [code, name] : names) {
        EXPECT_EQ(fixedKeyName(code), name) << code;
        EXPECT_EQ(assignKeyPanel().getKeyString(code), name) << code;
    }
    EXPECT_EQ(fixedKeyName(0), "") << "letters are the layout's";
    QComboBox* menu = macroPanel().keyMenu();
    EXPECT_EQ(menu->itemText(15), "Shift");
    EXPECT_EQ(menu->itemText(16), "Ctrl");
    EXPECT_EQ(menu->itemText(17), "Alt");
    EXPECT_EQ(menu->itemText(18), "Super");
}

TEST_F(ButtonSummaries, KeyNamesAreTranslated) {
    useGerman();
    store({{"ButtonMappings",
            Value(Array{Value(Data{0}),
                        Value(raw("\x03"
                                  "520,571,568")),
                        Value(raw("\x04"
                                  "561,305")),
                        Value(Data{5}), Value(Data{0}), Value(Data{0}), Value(Data{0})})}});
    showPage();
    const std::vector<std::pair<std::uint16_t, QString>> names{
        {59, "Strg"}, {56, "Umschalt"}, {49, "Leertaste"}, {51, "Rücktaste"}, {55, "Super"},
        {58, "Alt"},  {123, "Links"},   {126, "Hoch"},     {117, "Entf"}};
    for (const auto& [code, name] : names) {
        EXPECT_EQ(fixedKeyName(code), name) << code;
    }
    EXPECT_EQ(summary(1)->fullText(), "Strg+Umschalt+C");
    EXPECT_EQ(summary(2)->fullText(), kDown + "Leertaste " + kUp + "Leertaste");
    EXPECT_EQ(summary(3)->fullText(), "Zurück (eigener Klick der Maustaste)");
    QComboBox* menu = assignKeyPanel().keyMenu();
    EXPECT_EQ(menu->itemText(15), "Umschalt");
    EXPECT_EQ(menu->itemText(16), "Strg");
    auto* label = container->findChild<QLabel*>("buttonLabel4");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Maustaste 4:") << "a mouse button, not a keyboard key";
}

// The button being edited

TEST_F(ButtonSummaries, AnOpenMenuLightsItsButtonInThePicture) {
    showPage();
    const QPixmap plain = controller->mousePanel()->pixmap();
    ASSERT_FALSE(plain.isNull());
    EXPECT_EQ(controller->highlightedButton(), -1);
    QComboBox* menu = popUp(4);
    menu->showPopup();
    EXPECT_EQ(controller->highlightedButton(), 4);
    EXPECT_NE(controller->mousePanel()->pixmap().toImage(), plain.toImage());
    EXPECT_EQ(controller->mousePanel()->pixmap().toImage(),
              controller->mouseImageWithButton(4).toImage());
    EXPECT_TRUE(controller->mousePanel()->accessibleDescription().contains("button 5"));
    menu->hidePopup();
    EXPECT_EQ(controller->highlightedButton(), -1);
    EXPECT_EQ(controller->mousePanel()->pixmap().toImage(), plain.toImage());
}

TEST_F(ButtonSummaries, EachButtonLightsAPlaceOfItsOwn) {
    showPage();
    std::vector<QImage> lit;
    for (int button = 0; button < 7; ++button) {
        lit.push_back(controller->mouseImageWithButton(button).toImage());
        EXPECT_NE(lit.back(), controller->rightMouseImage().toImage()) << button;
        for (int other = 0; other < button; ++other) {
            EXPECT_NE(lit.back(), lit[other]) << button << " and " << other;
        }
    }
}

TEST_F(ButtonSummaries, DialogsNameTheirButtonAndLightIt) {
    showPage();
    QString heading;
    int lit = -2;
    whenDialogOpens([&] {
        auto* name = qobject_cast<QLabel*>(
            viewWithTag(controller->modalPanel(), ButtonsController::kButtonNameTag));
        heading = name ? name->text() : QString("<none>");
        lit = controller->highlightedButton();
        controller->applyAssignKey();
    });
    pick(3, 3);
    EXPECT_EQ(heading, "Button 4");
    EXPECT_EQ(lit, 3);
    EXPECT_EQ(controller->highlightedButton(), -1) << "unlit once the dialog is closed";

    whenDialogOpens([&] {
        auto* name = qobject_cast<QLabel*>(
            viewWithTag(controller->modalPanel(), ButtonsController::kButtonNameTag));
        heading = name ? name->text() : QString("<none>");
        controller->applyAdvancedConfig();
    });
    pick(6, 6);
    EXPECT_EQ(heading, "Button 7");
}

// The macro panel

TEST_F(ButtonSummaries, TheMacroPanelShowsTheWholeRecordingAndCountsIt) {
    showPage();
    KeyInputPanel& panel = macroPanel();
    panel.notifyBegin(false);
    ASSERT_NE(panel.countLabel(), nullptr);
    EXPECT_EQ(panel.countLabel()->text(), "0 of 16");
    for (std::uint16_t code = 0; code < 8; ++code) {
        panel.handleKeyDown(code);
        panel.handleKeyUp(code);
    }
    EXPECT_EQ(panel.countLabel()->text(), "16 of 16");
    panel.resize(panel.sizeHint());
    panel.layout()->activate();
    QLabel* box = panel.textBox();
    EXPECT_TRUE(box->wordWrap());
    const QRect room = box->contentsRect();
    const QRect needed =
        QFontMetrics(box->font())
            .boundingRect(QRect(0, 0, room.width(), 10000), Qt::TextWordWrap, box->text());
    EXPECT_LE(needed.height(), room.height()) << "every entry is visible";
    EXPECT_LE(needed.width(), room.width());
    panel.clearKeyCodes();
    EXPECT_EQ(panel.countLabel()->text(), "0 of 16");
    EXPECT_EQ(assignKeyPanel().countLabel(), nullptr) << "a combination has no limit to count";
    panel.notifyEnd();
}

} // namespace
} // namespace zed::test
