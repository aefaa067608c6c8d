<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name></name>
    <message id="BUTTONS_MAPPINGS_TITLE">
        <source>What each button does:</source>
        <translation>What each button does:</translation>
    </message>
    <message id="BUTTONS_BUTTON_1">
        <source>Button 1:</source>
        <translation>Button 1:</translation>
    </message>
    <message id="BUTTONS_MAP_PRIMARY_CLICK">
        <source>Primary click</source>
        <translation>Primary click</translation>
    </message>
    <message id="BUTTONS_MAP_SECONDARY_CLICK">
        <source>Secondary click</source>
        <translation>Secondary click</translation>
    </message>
    <message id="BUTTONS_MAP_MIDDLE_CLICK">
        <source>Middle click</source>
        <translation>Middle click</translation>
    </message>
    <message id="BUTTONS_MAP_KEY_COMBINATION">
        <source>Key combination…</source>
        <translation>Key combination…</translation>
    </message>
    <message id="BUTTONS_MAP_KEY_MACRO">
        <source>Key macro…</source>
        <translation>Key macro…</translation>
    </message>
    <message id="BUTTONS_MAP_OWN_CLICK">
        <source>The button's own click</source>
        <translation>The button's own click</translation>
    </message>
    <message id="BUTTONS_MAP_ADVANCED">
        <source>Advanced…</source>
        <translation>Advanced…</translation>
    </message>
    <message id="BUTTONS_MAP_OTF_SENSITIVITY">
        <source>On-the-fly sensitivity</source>
        <translation>On-the-fly sensitivity</translation>
    </message>
    <message id="BUTTONS_BUTTON_2">
        <source>Button 2:</source>
        <translation>Button 2:</translation>
    </message>
    <message id="BUTTONS_BUTTON_3">
        <source>Button 3:</source>
        <translation>Button 3:</translation>
    </message>
    <message id="BUTTONS_BUTTON_4">
        <source>Button 4:</source>
        <translation>Button 4:</translation>
    </message>
    <message id="BUTTONS_BUTTON_5">
        <source>Button 5:</source>
        <translation>Button 5:</translation>
    </message>
    <message id="BUTTONS_BUTTON_6">
        <source>Button 6:</source>
        <translation>Button 6:</translation>
    </message>
    <message id="BUTTONS_BUTTON_7">
        <source>Button 7:</source>
        <translation>Button 7:</translation>
    </message>
    <message id="ASSIGN_KEY_TITLE">
        <source>Key Combination</source>
        <translation>Key Combination</translation>
    </message>
    <message id="ASSIGN_KEY_TEXT">
        <source>Choose Record, then press the key combination the button is to type; recording stops when you let go of the keys. A special key can also be taken from the menu.</source>
        <translation>Choose Record, then press the key combination the button is to type; recording stops when you let go of the keys. A special key can also be taken from the menu.</translation>
    </message>
    <message id="KEYS_PRESS">
        <source>Press</source>
        <translation>Press</translation>
    </message>
    <message id="KEYS_CLEAR">
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message id="KEYS_CANCEL">
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message id="KEYS_OK">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="MACRO_TITLE">
        <source>Key Macro</source>
        <translation>Key Macro</translation>
    </message>
    <message id="MACRO_TEXT">
        <source>Choose Record, then type the keys the button is to play back, up to 16 presses and releases. Recording stops when you choose Record again or pause for 3 seconds. Special keys can also be added from the menu.</source>
        <translation>Choose Record, then type the keys the button is to play back, up to 16 presses and releases. Recording stops when you choose Record again or pause for 3 seconds. Special keys can also be added from the menu.</translation>
    </message>
    <message id="KEYS_RELEASE">
        <source>Release</source>
        <translation>Release</translation>
    </message>
    <message id="ADVANCED_TITLE">
        <source>Advanced Mapping</source>
        <translation>Advanced Mapping</translation>
    </message>
    <message id="ADVANCED_TEXT">
        <source>The button steps the sensitivity on the fly. It can also type keys: choose a key combination or a key macro for it.</source>
        <translation>The button steps the sensitivity on the fly. It can also type keys: choose a key combination or a key macro for it.</translation>
    </message>
    <message id="ADVANCED_KEY_COMBINATION">
        <source>Key Combination…</source>
        <translation>Key Combination…</translation>
    </message>
    <message id="ADVANCED_KEY_MACRO">
        <source>Key Macro…</source>
        <translation>Key Macro…</translation>
    </message>
    <message id="ADVANCED_OK">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="KEY_RETURN">
        <source>Return</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Return</translation>
    </message>
    <message id="KEY_TAB">
        <source>Tab</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Tab</translation>
    </message>
    <message id="KEY_SPACE">
        <source>Space</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Space</translation>
    </message>
    <message id="KEY_BACKSPACE">
        <source>Backspace</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Backspace</translation>
    </message>
    <message id="KEY_ESC">
        <source>Esc</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Esc</translation>
    </message>
    <message id="KEY_SUPER">
        <source>Super</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Super</translation>
    </message>
    <message id="KEY_SHIFT">
        <source>Shift</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Shift</translation>
    </message>
    <message id="KEY_CAPS_LOCK">
        <source>Caps Lock</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Caps Lock</translation>
    </message>
    <message id="KEY_ALT">
        <source>Alt</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Alt</translation>
    </message>
    <message id="KEY_CTRL">
        <source>Ctrl</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Ctrl</translation>
    </message>
    <message id="KEY_NUM_LOCK">
        <source>Num Lock</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Num Lock</translation>
    </message>
    <message id="KEY_ENTER">
        <source>Enter</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Enter</translation>
    </message>
    <message id="KEY_HOME">
        <source>Home</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Home</translation>
    </message>
    <message id="KEY_PAGE_UP">
        <source>PgUp</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>PgUp</translation>
    </message>
    <message id="KEY_DEL">
        <source>Del</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Del</translation>
    </message>
    <message id="KEY_END">
        <source>End</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>End</translation>
    </message>
    <message id="KEY_PAGE_DOWN">
        <source>PgDown</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>PgDown</translation>
    </message>
    <message id="KEY_LEFT">
        <source>Left</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Left</translation>
    </message>
    <message id="KEY_RIGHT">
        <source>Right</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Right</translation>
    </message>
    <message id="KEY_DOWN">
        <source>Down</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Down</translation>
    </message>
    <message id="KEY_UP">
        <source>Up</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Up</translation>
    </message>
    <message id="BUTTONS_SUMMARY_NO_KEYS">
        <source>No keys recorded</source>
        <translation>No keys recorded</translation>
    </message>
    <message id="BUTTONS_SUMMARY_ADVANCED">
        <source>%1, and %2</source>
        <extracomment>%1: the click type, %2: the keys the button also types.</extracomment>
        <translation>%1, and %2</translation>
    </message>
    <message id="BUTTONS_SUMMARY_UNKNOWN">
        <source>Map type %1</source>
        <extracomment>%1: a map type this version does not know.</extracomment>
        <translation>Map type %1</translation>
    </message>
    <message id="BUTTONS_HAND_PICTURE">
        <source>Hand on the mouse</source>
        <translation>Hand on the mouse</translation>
    </message>
    <message id="BUTTONS_MOUSE_PICTURE">
        <source>The mouse's buttons</source>
        <translation>The mouse's buttons</translation>
    </message>
    <message id="BUTTONS_HAND_RIGHT">
        <source>Right hand</source>
        <translation>Right hand</translation>
    </message>
    <message id="BUTTONS_HAND_LEFT">
        <source>Left hand</source>
        <translation>Left hand</translation>
    </message>
    <message id="BUTTONS_MOUSE_RIGHT">
        <source>Buttons 1 to 7, numbered for the right hand</source>
        <translation>Buttons 1 to 7, numbered for the right hand</translation>
    </message>
    <message id="BUTTONS_MOUSE_LEFT">
        <source>Buttons 1 to 7, numbered for the left hand</source>
        <translation>Buttons 1 to 7, numbered for the left hand</translation>
    </message>
    <message id="BUTTONS_MOUSE_LIT">
        <source>%1; button %2 is lit</source>
        <extracomment>%1: the description of the picture, %2: the button's number.</extracomment>
        <translation>%1; button %2 is lit</translation>
    </message>
    <message id="BUTTONS_DIALOG_BUTTON">
        <source>Button %1</source>
        <extracomment>The heading of a dialog: the button it edits. %1: its number.</extracomment>
        <translation>Button %1</translation>
    </message>
    <message id="KEYS_RECORDED">
        <source>Recorded keys</source>
        <translation>Recorded keys</translation>
    </message>
    <message id="KEYS_SPECIAL_KEY">
        <source>Special key</source>
        <translation>Special key</translation>
    </message>
    <message id="MACRO_COUNT">
        <source>%1 of %2</source>
        <extracomment>%1: entries recorded, %2: the most a macro holds.</extracomment>
        <translation>%1 of %2</translation>
    </message>
    <message id="ADVANCED_KEYS">
        <source>Keys: %1</source>
        <extracomment>The keys an advanced mapping types besides its steps. %1: the keys.</extracomment>
        <translation>Keys: %1</translation>
    </message>
    <message id="KEYS_RECORD">
        <source>Record</source>
        <translation>Record</translation>
    </message>
    <message id="KEYS_RECORDING">
        <source>Press keys now…</source>
        <extracomment>Shown while the panel records the keys typed.</extracomment>
        <translation>Press keys now…</translation>
    </message>
    <message id="KEYS_REMOVE_LAST">
        <source>Remove Last</source>
        <translation>Remove Last</translation>
    </message>
    <message id="BUTTONS_MAP_OWN_CLICK_BACK">
        <source>Back (the button&apos;s own click)</source>
        <extracomment>Button 4&apos;s own click, which desktops and browsers take as Back.</extracomment>
        <translation>Back (the button&apos;s own click)</translation>
    </message>
    <message id="BUTTONS_MAP_OWN_CLICK_FORWARD">
        <source>Forward (the button&apos;s own click)</source>
        <extracomment>Button 5&apos;s own click, which desktops and browsers take as Forward.</extracomment>
        <translation>Forward (the button&apos;s own click)</translation>
    </message>
    <message id="BUTTONS_OTFS_NOTE">
        <source>On-the-fly sensitivity: hold the button and turn the wheel to make the pointer faster or slower. A click without turning is the button&apos;s own click, so the wheel button still middle-clicks.</source>
        <translation>On-the-fly sensitivity: hold the button and turn the wheel to make the pointer faster or slower. A click without turning is the button&apos;s own click, so the wheel button still middle-clicks.</translation>
    </message>
</context>
</TS>
