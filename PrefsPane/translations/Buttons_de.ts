<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name></name>
    <message id="BUTTONS_MAPPINGS_TITLE">
        <source>What each button does:</source>
        <translation>Was jede Taste tut:</translation>
    </message>
    <message id="BUTTONS_BUTTON_1">
        <source>Button 1:</source>
        <translation>Taste 1:</translation>
    </message>
    <message id="BUTTONS_MAP_PRIMARY_CLICK">
        <source>Primary click</source>
        <translation>Primärklick</translation>
    </message>
    <message id="BUTTONS_MAP_SECONDARY_CLICK">
        <source>Secondary click</source>
        <translation>Sekundärklick</translation>
    </message>
    <message id="BUTTONS_MAP_MIDDLE_CLICK">
        <source>Middle click</source>
        <translation>Mittelklick</translation>
    </message>
    <message id="BUTTONS_MAP_KEY_COMBINATION">
        <source>Key combination…</source>
        <translation>Tastenkombination …</translation>
    </message>
    <message id="BUTTONS_MAP_KEY_MACRO">
        <source>Key macro…</source>
        <translation>Tastenmakro …</translation>
    </message>
    <message id="BUTTONS_MAP_OWN_CLICK">
        <source>The button's own click</source>
        <translation>Eigener Klick der Taste</translation>
    </message>
    <message id="BUTTONS_MAP_ADVANCED">
        <source>Advanced…</source>
        <translation>Erweitert …</translation>
    </message>
    <message id="BUTTONS_MAP_OTF_SENSITIVITY">
        <source>On-the-fly sensitivity</source>
        <translation>Empfindlichkeit im Betrieb</translation>
    </message>
    <message id="BUTTONS_BUTTON_2">
        <source>Button 2:</source>
        <translation>Taste 2:</translation>
    </message>
    <message id="BUTTONS_BUTTON_3">
        <source>Button 3:</source>
        <translation>Taste 3:</translation>
    </message>
    <message id="BUTTONS_BUTTON_4">
        <source>Button 4:</source>
        <translation>Taste 4:</translation>
    </message>
    <message id="BUTTONS_BUTTON_5">
        <source>Button 5:</source>
        <translation>Taste 5:</translation>
    </message>
    <message id="BUTTONS_BUTTON_6">
        <source>Button 6:</source>
        <translation>Taste 6:</translation>
    </message>
    <message id="BUTTONS_BUTTON_7">
        <source>Button 7:</source>
        <translation>Taste 7:</translation>
    </message>
    <message id="ASSIGN_KEY_TITLE">
        <source>Key Combination</source>
        <translation>Tastenkombination</translation>
    </message>
    <message id="ASSIGN_KEY_TEXT">
        <source>Type the key combination the button is to type, or add a special key from the menu.</source>
        <translation>Tippen Sie die Tastenkombination, die die Taste senden soll, oder fügen Sie eine Sondertaste aus dem Menü hinzu.</translation>
    </message>
    <message id="KEYS_MENU_F1">
        <source>F1</source>
        <translation>F1</translation>
    </message>
    <message id="KEYS_MENU_F2">
        <source>F2</source>
        <translation>F2</translation>
    </message>
    <message id="KEYS_MENU_F3">
        <source>F3</source>
        <translation>F3</translation>
    </message>
    <message id="KEYS_MENU_F4">
        <source>F4</source>
        <translation>F4</translation>
    </message>
    <message id="KEYS_MENU_F5">
        <source>F5</source>
        <translation>F5</translation>
    </message>
    <message id="KEYS_MENU_F6">
        <source>F6</source>
        <translation>F6</translation>
    </message>
    <message id="KEYS_MENU_F7">
        <source>F7</source>
        <translation>F7</translation>
    </message>
    <message id="KEYS_MENU_F8">
        <source>F8</source>
        <translation>F8</translation>
    </message>
    <message id="KEYS_MENU_F9">
        <source>F9</source>
        <translation>F9</translation>
    </message>
    <message id="KEYS_MENU_F10">
        <source>F10</source>
        <translation>F10</translation>
    </message>
    <message id="KEYS_MENU_F11">
        <source>F11</source>
        <translation>F11</translation>
    </message>
    <message id="KEYS_MENU_F12">
        <source>F12</source>
        <translation>F12</translation>
    </message>
    <message id="KEYS_MENU_F13">
        <source>F13</source>
        <translation>F13</translation>
    </message>
    <message id="KEYS_MENU_TAB">
        <source>Tab</source>
        <translation>Tab</translation>
    </message>
    <message id="KEYS_MENU_ESC">
        <source>Esc</source>
        <translation>Esc</translation>
    </message>
    <message id="KEYS_MENU_SHIFT">
        <source>Shift</source>
        <translation>Shift</translation>
    </message>
    <message id="KEYS_MENU_CTRL">
        <source>Ctrl</source>
        <translation>Ctrl</translation>
    </message>
    <message id="KEYS_MENU_OPT">
        <source>Opt</source>
        <translation>Opt</translation>
    </message>
    <message id="KEYS_MENU_CMD">
        <source>Cmd</source>
        <translation>Cmd</translation>
    </message>
    <message id="KEYS_PRESS">
        <source>Press</source>
        <translation>Drücken</translation>
    </message>
    <message id="KEYS_CLEAR">
        <source>Clear</source>
        <translation>Löschen</translation>
    </message>
    <message id="KEYS_CANCEL">
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message id="KEYS_OK">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="MACRO_TITLE">
        <source>Key Macro</source>
        <translation>Tastenmakro</translation>
    </message>
    <message id="MACRO_TEXT">
        <source>Type the keys the button is to play back, up to 16 presses and releases, or add special keys from the menu.</source>
        <translation>Tippen Sie die Tasten, die die Taste abspielen soll, bis zu 16 Anschläge und Loslassen, oder fügen Sie Sondertasten aus dem Menü hinzu.</translation>
    </message>
    <message id="KEYS_RELEASE">
        <source>Release</source>
        <translation>Loslassen</translation>
    </message>
    <message id="ADVANCED_TITLE">
        <source>Advanced Mapping</source>
        <translation>Erweiterte Belegung</translation>
    </message>
    <message id="ADVANCED_TEXT">
        <source>The button steps the sensitivity on the fly. It can also type keys: choose a key combination or a key macro for it.</source>
        <translation>Die Taste ändert die Empfindlichkeit im Betrieb. Sie kann zusätzlich Tasten senden: wählen Sie dafür eine Tastenkombination oder ein Tastenmakro.</translation>
    </message>
    <message id="ADVANCED_KEY_COMBINATION">
        <source>Key Combination…</source>
        <translation>Tastenkombination …</translation>
    </message>
    <message id="ADVANCED_KEY_MACRO">
        <source>Key Macro…</source>
        <translation>Tastenmakro …</translation>
    </message>
    <message id="ADVANCED_OK">
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
