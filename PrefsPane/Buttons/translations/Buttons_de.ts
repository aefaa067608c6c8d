<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name></name>
    <message id="BUTTONS_MAPPINGS_TITLE">
        <source>What each button does:</source>
        <translation>Was jede Maustaste tut:</translation>
    </message>
    <message id="BUTTONS_BUTTON_1">
        <source>Button 1:</source>
        <translation>Maustaste 1:</translation>
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
        <translation>Eigener Klick der Maustaste</translation>
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
        <translation>Maustaste 2:</translation>
    </message>
    <message id="BUTTONS_BUTTON_3">
        <source>Button 3:</source>
        <translation>Maustaste 3:</translation>
    </message>
    <message id="BUTTONS_BUTTON_4">
        <source>Button 4:</source>
        <translation>Maustaste 4:</translation>
    </message>
    <message id="BUTTONS_BUTTON_5">
        <source>Button 5:</source>
        <translation>Maustaste 5:</translation>
    </message>
    <message id="BUTTONS_BUTTON_6">
        <source>Button 6:</source>
        <translation>Maustaste 6:</translation>
    </message>
    <message id="BUTTONS_BUTTON_7">
        <source>Button 7:</source>
        <translation>Maustaste 7:</translation>
    </message>
    <message id="ASSIGN_KEY_TITLE">
        <source>Key Combination</source>
        <translation>Tastenkombination</translation>
    </message>
    <message id="ASSIGN_KEY_TEXT">
        <source>Choose Record, then press the key combination the button is to type; recording stops when you let go of the keys. A special key can also be taken from the menu.</source>
        <translation>Wählen Sie „Aufnehmen“ und drücken Sie dann die Tastenkombination, die die Maustaste senden soll; die Aufnahme endet, wenn Sie die Tasten loslassen. Eine Sondertaste kann auch aus dem Menü kommen.</translation>
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
        <source>Choose Record, then type the keys the button is to play back, up to 16 presses and releases. Recording stops when you choose Record again or pause for 3 seconds. Special keys can also be added from the menu.</source>
        <translation>Wählen Sie „Aufnehmen“ und tippen Sie dann die Tasten, die die Maustaste abspielen soll, bis zu 16 Anschläge und Loslassen. Die Aufnahme endet, wenn Sie erneut „Aufnehmen“ wählen oder 3 Sekunden innehalten. Sondertasten können auch aus dem Menü hinzugefügt werden.</translation>
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
        <translation>Die Maustaste ändert die Empfindlichkeit im Betrieb. Sie kann zusätzlich Tasten senden: wählen Sie dafür eine Tastenkombination oder ein Tastenmakro.</translation>
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
    <message id="KEY_RETURN">
        <source>Return</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Eingabe</translation>
    </message>
    <message id="KEY_TAB">
        <source>Tab</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Tab</translation>
    </message>
    <message id="KEY_SPACE">
        <source>Space</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Leertaste</translation>
    </message>
    <message id="KEY_BACKSPACE">
        <source>Backspace</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Rücktaste</translation>
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
        <translation>Umschalt</translation>
    </message>
    <message id="KEY_CAPS_LOCK">
        <source>Caps Lock</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Feststelltaste</translation>
    </message>
    <message id="KEY_ALT">
        <source>Alt</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Alt</translation>
    </message>
    <message id="KEY_CTRL">
        <source>Ctrl</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Strg</translation>
    </message>
    <message id="KEY_NUM_LOCK">
        <source>Num Lock</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Num</translation>
    </message>
    <message id="KEY_ENTER">
        <source>Enter</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Enter</translation>
    </message>
    <message id="KEY_HOME">
        <source>Home</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Pos1</translation>
    </message>
    <message id="KEY_PAGE_UP">
        <source>PgUp</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Bild auf</translation>
    </message>
    <message id="KEY_DEL">
        <source>Del</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Entf</translation>
    </message>
    <message id="KEY_END">
        <source>End</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Ende</translation>
    </message>
    <message id="KEY_PAGE_DOWN">
        <source>PgDown</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Bild ab</translation>
    </message>
    <message id="KEY_LEFT">
        <source>Left</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Links</translation>
    </message>
    <message id="KEY_RIGHT">
        <source>Right</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Rechts</translation>
    </message>
    <message id="KEY_DOWN">
        <source>Down</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Runter</translation>
    </message>
    <message id="KEY_UP">
        <source>Up</source>
        <extracomment>A key's name, as the desktop's shortcut editor writes it.</extracomment>
        <translation>Hoch</translation>
    </message>
    <message id="BUTTONS_SUMMARY_NO_KEYS">
        <source>No keys recorded</source>
        <translation>Keine Tasten aufgezeichnet</translation>
    </message>
    <message id="BUTTONS_SUMMARY_ADVANCED">
        <source>%1, and %2</source>
        <extracomment>%1: the click type, %2: the keys the button also types.</extracomment>
        <translation>%1 und %2</translation>
    </message>
    <message id="BUTTONS_SUMMARY_UNKNOWN">
        <source>Map type %1</source>
        <extracomment>%1: a map type this version does not know.</extracomment>
        <translation>Belegung %1</translation>
    </message>
    <message id="BUTTONS_HAND_PICTURE">
        <source>Hand on the mouse</source>
        <translation>Hand auf der Maus</translation>
    </message>
    <message id="BUTTONS_MOUSE_PICTURE">
        <source>The mouse's buttons</source>
        <translation>Die Maustasten</translation>
    </message>
    <message id="BUTTONS_HAND_RIGHT">
        <source>Right hand</source>
        <translation>Rechte Hand</translation>
    </message>
    <message id="BUTTONS_HAND_LEFT">
        <source>Left hand</source>
        <translation>Linke Hand</translation>
    </message>
    <message id="BUTTONS_MOUSE_RIGHT">
        <source>Buttons 1 to 7, numbered for the right hand</source>
        <translation>Maustasten 1 bis 7, nummeriert für die rechte Hand</translation>
    </message>
    <message id="BUTTONS_MOUSE_LEFT">
        <source>Buttons 1 to 7, numbered for the left hand</source>
        <translation>Maustasten 1 bis 7, nummeriert für die linke Hand</translation>
    </message>
    <message id="BUTTONS_MOUSE_LIT">
        <source>%1; button %2 is lit</source>
        <extracomment>%1: the description of the picture, %2: the button's number.</extracomment>
        <translation>%1; Maustaste %2 ist hervorgehoben</translation>
    </message>
    <message id="BUTTONS_DIALOG_BUTTON">
        <source>Button %1</source>
        <extracomment>The heading of a dialog: the button it edits. %1: its number.</extracomment>
        <translation>Maustaste %1</translation>
    </message>
    <message id="KEYS_RECORDED">
        <source>Recorded keys</source>
        <translation>Aufgezeichnete Tasten</translation>
    </message>
    <message id="KEYS_SPECIAL_KEY">
        <source>Special key</source>
        <translation>Sondertaste</translation>
    </message>
    <message id="MACRO_COUNT">
        <source>%1 of %2</source>
        <extracomment>%1: entries recorded, %2: the most a macro holds.</extracomment>
        <translation>%1 von %2</translation>
    </message>
    <message id="ADVANCED_KEYS">
        <source>Keys: %1</source>
        <extracomment>The keys an advanced mapping types besides its steps. %1: the keys.</extracomment>
        <translation>Tasten: %1</translation>
    </message>
    <message id="KEYS_RECORD">
        <source>Record</source>
        <translation>Aufnehmen</translation>
    </message>
    <message id="KEYS_RECORDING">
        <source>Press keys now…</source>
        <extracomment>Shown while the panel records the keys typed.</extracomment>
        <translation>Jetzt Tasten drücken…</translation>
    </message>
    <message id="KEYS_REMOVE_LAST">
        <source>Remove Last</source>
        <translation>Letzte entfernen</translation>
    </message>
    <message id="BUTTONS_MAP_OWN_CLICK_BACK">
        <source>Back (the button&apos;s own click)</source>
        <extracomment>Button 4&apos;s own click, which desktops and browsers take as Back.</extracomment>
        <translation>Zurück (eigener Klick der Maustaste)</translation>
    </message>
    <message id="BUTTONS_MAP_OWN_CLICK_FORWARD">
        <source>Forward (the button&apos;s own click)</source>
        <extracomment>Button 5&apos;s own click, which desktops and browsers take as Forward.</extracomment>
        <translation>Vorwärts (eigener Klick der Maustaste)</translation>
    </message>
    <message id="BUTTONS_OTFS_NOTE">
        <source>On-the-fly sensitivity: hold the button and turn the wheel to make the pointer faster or slower. A click without turning is the button&apos;s own click, so the wheel button still middle-clicks.</source>
        <translation>Empfindlichkeit im Betrieb: Halten Sie die Maustaste gedrückt und drehen Sie das Rad, um den Zeiger schneller oder langsamer zu machen. Ein Klick ohne Drehen ist der eigene Klick der Maustaste, die Radtaste klickt also weiter mittig.</translation>
    </message>
</context>
</TS>
