<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name></name>
    <message id="TOVIK_ZED_SITE_URL">
        <source>https://www.tovik.example/zed/</source>
        <extracomment>Address of the maker's web site for this language.</extracomment>
        <translation>https://www.tovik.example/de/zed/</translation>
    </message>
    <message id="TOVIK_ZED_UPDATE_URL">
        <source>https://www.tovik.example/zed/update/</source>
        <extracomment>Address of the maker's update page for this language.</extracomment>
        <translation>https://www.tovik.example/de/zed/update/</translation>
    </message>
    <message id="CLICK_TYPE_ERROR_TITLE">
        <source>One button must keep the primary click</source>
        <extracomment>Title of the alert that refuses a map type leaving no button with the primary click.</extracomment>
        <translation>Eine Maustaste muss den Primärklick behalten</translation>
    </message>
    <message id="CLICK_TYPE_ERROR_MESSAGE">
        <source>This choice would leave none of the mouse's buttons with the primary click. Give another button the primary click first, then change this one.</source>
        <extracomment>Message of that alert.</extracomment>
        <translation>Mit dieser Wahl hätte keine Maustaste mehr den Primärklick. Weisen Sie zuerst einer anderen Maustaste den Primärklick zu und ändern Sie dann diese.</translation>
    </message>
    <message id="CLICK_TYPE_ERROR_DEF_BUTTON">
        <source>OK</source>
        <extracomment>The alert's only button.</extracomment>
        <translation>OK</translation>
    </message>
    <message id="ADV_TITLE">
        <source>Advanced Settings</source>
        <translation>Erweiterte Einstellungen</translation>
    </message>
    <message id="ADV_SENSOR_GROUP">
        <source>Sensor</source>
        <translation>Sensor</translation>
    </message>
    <message id="ADV_RESOLUTION_LABEL">
        <source>&amp;Resolution:</source>
        <translation>&amp;Auflösung:</translation>
    </message>
    <message id="ADV_RESOLUTION_400">
        <source>400 dpi</source>
        <translation>400 dpi</translation>
    </message>
    <message id="ADV_RESOLUTION_800">
        <source>800 dpi</source>
        <translation>800 dpi</translation>
    </message>
    <message id="ADV_RESOLUTION_1600">
        <source>1600 dpi</source>
        <translation>1600 dpi</translation>
    </message>
    <message id="ADV_RESOLUTION_3200">
        <source>3200 dpi</source>
        <translation>3200 dpi</translation>
    </message>
    <message id="ADV_OTFS_GROUP">
        <source>On-the-fly sensitivity</source>
        <translation>Empfindlichkeit im laufenden Betrieb</translation>
    </message>
    <message id="ADV_OTFS_CHECK">
        <source>&amp;Buttons set to on-the-fly sensitivity step it while you work</source>
        <translation>&amp;Maustasten für die Empfindlichkeit verstellen sie während der Arbeit</translation>
    </message>
    <message id="ADV_OTFS_SCREEN_CHECK">
        <source>&amp;Show the new sensitivity on the screen</source>
        <translation>Neue Empfindlichkeit auf dem Bildschirm an&amp;zeigen</translation>
    </message>
    <message id="ADV_NOTE">
        <source>Changes take effect at once; OK closes this window.</source>
        <translation>Änderungen gelten sofort; OK schließt dieses Fenster.</translation>
    </message>
    <message id="ADV_OK_BUTTON">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="PANE_TAB_SENSITIVITY">
        <source>Sensitivity</source>
        <translation>Empfindlichkeit</translation>
    </message>
    <message id="PANE_TAB_BUTTONS">
        <source>Buttons</source>
        <translation>Maustasten</translation>
    </message>
    <message id="PANE_SITE_BUTTON">
        <source>Tovik on the &amp;Web</source>
        <translation>Tovik im &amp;Web</translation>
    </message>
    <message id="PANE_SITE_TIP">
        <source>Opens the maker's web site in your browser.</source>
        <translation>Öffnet die Website des Herstellers im Browser.</translation>
    </message>
    <message id="PANE_UPDATE_BUTTON">
        <source>Check for &amp;Updates</source>
        <translation>Nach &amp;Updates suchen</translation>
    </message>
    <message id="PANE_UPDATE_TIP">
        <source>Opens the page with the latest software for your mouse.</source>
        <translation>Öffnet die Seite mit der neuesten Software für Ihre Maus.</translation>
    </message>
    <message id="PANE_HELP_BUTTON">
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message id="PANE_HELP_TIP">
        <source>Explains every setting of this pane.</source>
        <translation>Erklärt jede Einstellung dieses Bereichs.</translation>
    </message>
    <message id="SENS_HAND_GROUP">
        <source>Hand</source>
        <translation>Hand</translation>
    </message>
    <message id="SENS_RIGHT_HAND">
        <source>&amp;Right hand</source>
        <translation>&amp;Rechte Hand</translation>
    </message>
    <message id="SENS_LEFT_HAND">
        <source>&amp;Left hand</source>
        <translation>&amp;Linke Hand</translation>
    </message>
    <message id="SENS_TRACKING_GROUP">
        <source>Tracking</source>
        <translation>Zeigerbewegung</translation>
    </message>
    <message id="SENS_SENSITIVITY_LABEL">
        <source>&amp;Sensitivity:</source>
        <translation>&amp;Empfindlichkeit:</translation>
    </message>
    <message id="PANE_SLOW">
        <source>Slow</source>
        <translation>Langsam</translation>
    </message>
    <message id="SENS_SENSITIVITY_TIP">
        <source>How far the pointer travels for a movement of the mouse, from 1.0 to 10.0.</source>
        <translation>Wie weit sich der Zeiger bei einer Bewegung der Maus bewegt, von 1,0 bis 10,0.</translation>
    </message>
    <message id="PANE_FAST">
        <source>Fast</source>
        <translation>Schnell</translation>
    </message>
    <message id="SENS_ONE_RADIO">
        <source>&amp;One sensitivity for both directions</source>
        <translation>Eine Empfindlichkeit für beide Richtu&amp;ngen</translation>
    </message>
    <message id="SENS_SEPARATE_RADIO">
        <source>Separa&amp;te horizontal and vertical sensitivities</source>
        <translation>Ge&amp;trennte Empfindlichkeit für waagerecht und senkrecht</translation>
    </message>
    <message id="SENS_X_LABEL">
        <source>Horizontal (&amp;X):</source>
        <translation>Waagerecht (&amp;X):</translation>
    </message>
    <message id="SENS_Y_LABEL">
        <source>Vertical (&amp;Y):</source>
        <translation>Senkrecht (&amp;Y):</translation>
    </message>
    <message id="SENS_ACCEL_GROUP">
        <source>Acceleration</source>
        <translation>Beschleunigung</translation>
    </message>
    <message id="SENS_ACCEL_CHECK">
        <source>Let the &amp;mouse accelerate the pointer instead of the desktop</source>
        <translation>Die &amp;Maus statt des Desktops beschleunigt den Zeiger</translation>
    </message>
    <message id="SENS_ACCEL_TIP">
        <source>On: the mouse's driver accelerates the pointer by the amount below and the desktop's own acceleration is turned off. Off: the desktop accelerates it by that amount.</source>
        <translation>Ein: Der Treiber der Maus beschleunigt den Zeiger um den Betrag darunter, die Beschleunigung des Desktops ist aus. Aus: Der Desktop beschleunigt ihn um diesen Betrag.</translation>
    </message>
    <message id="SENS_ACCEL_LABEL">
        <source>&amp;Amount:</source>
        <translation>&amp;Betrag:</translation>
    </message>
    <message id="SENS_WHEEL_GROUP">
        <source>Scrolling and double-click</source>
        <translation>Scrollen und Doppelklick</translation>
    </message>
    <message id="SENS_SCROLL_LABEL">
        <source>Scroll-wheel s&amp;peed:</source>
        <translation>Scrollrad-&amp;Geschwindigkeit:</translation>
    </message>
    <message id="SENS_DBLCLICK_LABEL">
        <source>&amp;Double-click speed:</source>
        <translation>&amp;Doppelklick-Geschwindigkeit:</translation>
    </message>
    <message id="SENS_DBLCLICK_TIP">
        <source>How quickly the two clicks of a double-click must follow each other.</source>
        <translation>Wie schnell die beiden Klicks eines Doppelklicks aufeinander folgen müssen.</translation>
    </message>
    <message id="SENS_MOVIE_TIP">
        <source>Double-click the picture to try the double-click speed.</source>
        <translation>Doppelklicken Sie auf das Bild, um die Doppelklick-Geschwindigkeit auszuprobieren.</translation>
    </message>
    <message id="SENS_DBLCLICK_HINT">
        <source>Double-click the picture to try the speed you have set.</source>
        <translation>Doppelklicken Sie auf das Bild, um die eingestellte Geschwindigkeit auszuprobieren.</translation>
    </message>
    <message id="SENS_ADVANCED_BUTTON">
        <source>Ad&amp;vanced…</source>
        <translation>Erwe&amp;itert…</translation>
    </message>
    <message id="SENS_ADVANCED_TIP">
        <source>Resolution and on-the-fly sensitivity.</source>
        <translation>Auflösung und Empfindlichkeit im Betrieb.</translation>
    </message>
    <message id="PANE_MEDIUM">
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message id="SENS_ACCEL_NONE">
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message id="SENS_ACCEL_STRONG">
        <source>Strong</source>
        <translation>Stark</translation>
    </message>
    <message id="SENS_ACCEL_BY_DESKTOP">
        <source>Now the desktop accelerates the pointer by this amount.</source>
        <extracomment>Says who accelerates the pointer while the check box above is off.</extracomment>
        <translation>Jetzt beschleunigt der Desktop den Zeiger um diesen Betrag.</translation>
    </message>
    <message id="SENS_ACCEL_BY_MOUSE">
        <source>Now the mouse's driver accelerates the pointer by this amount; the desktop's own acceleration is off.</source>
        <extracomment>Says who accelerates the pointer while the check box above is on.</extracomment>
        <translation>Jetzt beschleunigt der Treiber der Maus den Zeiger um diesen Betrag; die Beschleunigung des Desktops ist aus.</translation>
    </message>
    <message id="SENS_MOVIE_NAME">
        <source>Double-click test</source>
        <translation>Doppelklick-Test</translation>
    </message>
    <message id="PANE_RESTORE_BUTTON">
        <source>Restore De&amp;faults</source>
        <translation>Standardwerte &amp;zurücksetzen</translation>
    </message>
    <message id="PANE_RESTORE_TIP">
        <source>Puts back the settings the mouse started with, after asking.</source>
        <translation>Setzt nach einer Rückfrage die Einstellungen zurück, mit denen die Maus begann.</translation>
    </message>
    <message id="PANE_RESTORE_TITLE">
        <source>Restore the default settings?</source>
        <translation>Standardwerte wiederherstellen?</translation>
    </message>
    <message id="PANE_RESTORE_MESSAGE">
        <source>The sensitivities, speeds, hand, resolution, on-the-fly sensitivity and every button's mapping go back to how the mouse was first set up. The acceleration amount stays as it is.</source>
        <translation>Empfindlichkeiten, Geschwindigkeiten, Hand, Auflösung, Empfindlichkeit im Betrieb und die Belegung jeder Maustaste werden so, wie die Maus zuerst eingerichtet war. Der Betrag der Beschleunigung bleibt, wie er ist.</translation>
    </message>
    <message id="PANE_RESTORE_CONFIRM">
        <source>Restore Defaults</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message id="PANE_RESTORE_CANCEL">
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message id="STATUS_NAME">
        <source>Status</source>
        <extracomment>Accessible name of the status line at the top of the pane.</extracomment>
        <translation>Status</translation>
    </message>
    <message id="STATUS_CHECKING">
        <source>Looking for the mouse…</source>
        <translation>Die Maus wird gesucht …</translation>
    </message>
    <message id="STATUS_NO_DRIVER">
        <source>The mouse&apos;s driver is not running, so no mouse gets these settings: start it with “sudo systemctl start zed-driver”.</source>
        <translation>Der Treiber der Maus läuft nicht, daher erreicht keine Maus diese Einstellungen: Starten Sie ihn mit „sudo systemctl start zed-driver“.</translation>
    </message>
    <message id="STATUS_NO_SIMULATOR">
        <source>The simulated mouse is not running: start it with “zed-mouse-sim”.</source>
        <translation>Die simulierte Maus läuft nicht: Starten Sie sie mit „zed-mouse-sim“.</translation>
    </message>
    <message id="STATUS_NO_MOUSE">
        <source>No ZED mouse is connected: plug it in, and it gets these settings at once.</source>
        <translation>Keine ZED-Maus ist angeschlossen: Stecken Sie sie ein, dann erhält sie diese Einstellungen sofort.</translation>
    </message>
    <message id="STATUS_ONE_MOUSE">
        <source>A ZED mouse is connected.</source>
        <translation>Eine ZED-Maus ist angeschlossen.</translation>
    </message>
    <message id="STATUS_MICE">
        <source>%1 ZED mice are connected.</source>
        <extracomment>%1: how many of the maker&apos;s mice are connected (two or more).</extracomment>
        <translation>%1 ZED-Mäuse sind angeschlossen.</translation>
    </message>
    <message id="STATUS_AGENT">
        <source>The agent is running and applies every change at once.</source>
        <translation>Der Agent läuft und wendet jede Änderung sofort an.</translation>
    </message>
    <message id="STATUS_NO_AGENT">
        <source>The agent is not running, so changes are saved but not applied: log out and in again, or run “systemctl --user start zed-agent”.</source>
        <translation>Der Agent läuft nicht, daher werden Änderungen gespeichert, aber nicht angewandt: Melden Sie sich ab und wieder an, oder führen Sie „systemctl --user start zed-agent“ aus.</translation>
    </message>
    <message id="STATUS_NO_AGENT_SIMULATOR">
        <source>The agent is not running, so changes are saved but not applied: run “ZED_PLATFORM=simulator zed-agent”.</source>
        <translation>Der Agent läuft nicht, daher werden Änderungen gespeichert, aber nicht angewandt: Führen Sie „ZED_PLATFORM=simulator zed-agent“ aus.</translation>
    </message>
    <message id="LINK_FAILURE_TITLE">
        <source>The page could not be opened</source>
        <translation>Die Seite konnte nicht geöffnet werden</translation>
    </message>
    <message id="LINK_FAILURE_MESSAGE">
        <source>No program on this computer opened “%1”. Choose a default web browser in your desktop&apos;s settings, or copy the address into a browser.</source>
        <extracomment>%1: the web address or help file that no program opened.</extracomment>
        <translation>Kein Programm auf diesem Rechner hat „%1“ geöffnet. Wählen Sie in den Einstellungen Ihres Desktops einen Standard-Webbrowser, oder kopieren Sie die Adresse in einen Browser.</translation>
    </message>
    <message id="ADV_RESOLUTION_NOTE">
        <source>This mouse keeps the resolution set in its own hardware; ZED shows the stored value but cannot change it.</source>
        <translation>Diese Maus behält die Auflösung, die in ihrer eigenen Hardware eingestellt ist; ZED zeigt den gespeicherten Wert, kann ihn aber nicht ändern.</translation>
    </message>
    <message id="ADV_RESOLUTION_TIP">
        <source>The mouse&apos;s own resolution; it cannot be changed from here.</source>
        <translation>Die eigene Auflösung der Maus; sie lässt sich hier nicht ändern.</translation>
    </message>
    <message id="ADV_OTFS_TIP">
        <source>Hold a button set to on-the-fly sensitivity and turn the wheel: each notch changes the sensitivity by 0.2, between 1.0 and 10.0. Pressed and released without turning, the button gives its own click.</source>
        <translation>Halten Sie eine Maustaste mit Empfindlichkeit im Betrieb gedrückt und drehen Sie das Rad: Jede Raste ändert die Empfindlichkeit um 0,2, zwischen 1,0 und 10,0. Ohne Drehen gedrückt und losgelassen, gibt die Taste ihren eigenen Klick.</translation>
    </message>
    <message id="PANE_SETS_LABEL">
        <source>Settings &amp;for:</source>
        <translation>Einstellungen &amp;für:</translation>
    </message>
    <message id="PANE_SETS_TIP">
        <source>Which settings the pages show and change: those for all applications, or those of a set for some applications.</source>
        <translation>Welche Einstellungen die Seiten zeigen und ändern: die für alle Programme oder die eines Satzes für bestimmte Programme.</translation>
    </message>
    <message id="PANE_SETS_ALL">
        <source>All applications</source>
        <translation>Alle Programme</translation>
    </message>
    <message id="PANE_SETS_ADD">
        <source>&amp;New Set…</source>
        <translation>&amp;Neuer Satz …</translation>
    </message>
    <message id="PANE_SETS_ADD_TIP">
        <source>Makes a set of settings for the applications you name; it starts with the settings for all applications.</source>
        <translation>Legt einen Satz Einstellungen für die genannten Programme an; er beginnt mit den Einstellungen für alle Programme.</translation>
    </message>
    <message id="PANE_SETS_RENAME">
        <source>Re&amp;name…</source>
        <translation>&amp;Umbenennen …</translation>
    </message>
    <message id="PANE_SETS_RENAME_TIP">
        <source>Gives the selected set another name.</source>
        <translation>Gibt dem gewählten Satz einen anderen Namen.</translation>
    </message>
    <message id="PANE_SETS_RENAME_TITLE">
        <source>Rename Set</source>
        <translation>Satz umbenennen</translation>
    </message>
    <message id="PANE_SETS_APPS">
        <source>&amp;Applications…</source>
        <translation>&amp;Programme …</translation>
    </message>
    <message id="PANE_SETS_APPS_TIP">
        <source>Changes which applications the selected set applies to.</source>
        <translation>Ändert, für welche Programme der gewählte Satz gilt.</translation>
    </message>
    <message id="PANE_SETS_REMOVE">
        <source>Re&amp;move…</source>
        <translation>&amp;Entfernen …</translation>
    </message>
    <message id="PANE_SETS_REMOVE_TIP">
        <source>Removes the selected set, after asking; its applications then get the settings for all applications.</source>
        <translation>Entfernt den gewählten Satz nach Rückfrage; seine Programme erhalten dann die Einstellungen für alle Programme.</translation>
    </message>
    <message id="PANE_SETS_REMOVE_TITLE">
        <source>Remove the set “%1”?</source>
        <translation>Den Satz „%1“ entfernen?</translation>
    </message>
    <message id="PANE_SETS_REMOVE_MESSAGE">
        <source>Its applications will get the settings for all applications again. This cannot be undone.</source>
        <translation>Seine Programme erhalten wieder die Einstellungen für alle Programme. Das lässt sich nicht rückgängig machen.</translation>
    </message>
    <message id="PANE_SETS_REMOVE_CONFIRM">
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message id="PANE_SET_RESET">
        <source>• Reset</source>
        <translation>• Zurücksetzen</translation>
    </message>
    <message id="PANE_SET_RESET_TIP">
        <source>This set has its own value here. Reset gives it the value for all applications again.</source>
        <translation>Dieser Satz hat hier einen eigenen Wert. „Zurücksetzen“ gibt ihm wieder den Wert für alle Programme.</translation>
    </message>
    <message id="PANE_SET_RESET_NAME">
        <source>Reset %1 to the value for all applications</source>
        <translation>%1 auf den Wert für alle Programme zurücksetzen</translation>
    </message>
    <message id="PANE_SET_FIXED_TIP">
        <source>The same for all applications: choose “All applications” above to change it.</source>
        <translation>Für alle Programme gleich: Wählen Sie oben „Alle Programme“, um es zu ändern.</translation>
    </message>
    <message id="PANE_APPS_DIALOG_TITLE">
        <source>Applications of the Set</source>
        <translation>Programme des Satzes</translation>
    </message>
    <message id="PANE_APPS_NAME_LABEL">
        <source>Name of the set</source>
        <translation>Name des Satzes</translation>
    </message>
    <message id="PANE_APPS_NAME_PLACEHOLDER">
        <source>Name of the set, such as Games</source>
        <translation>Name des Satzes, etwa Spiele</translation>
    </message>
    <message id="PANE_APPS_LIST_LABEL">
        <source>Applications the set applies to</source>
        <translation>Programme, für die der Satz gilt</translation>
    </message>
    <message id="PANE_APPS_TYPED_PLACEHOLDER">
        <source>Application’s name, app_id or program</source>
        <translation>Name, App-ID oder Programm der Anwendung</translation>
    </message>
    <message id="PANE_APPS_ADD_TYPED">
        <source>A&amp;dd</source>
        <translation>&amp;Hinzufügen</translation>
    </message>
    <message id="PANE_APPS_INSTALLED">
        <source>&amp;Installed Applications…</source>
        <translation>&amp;Installierte Programme …</translation>
    </message>
    <message id="PANE_APPS_INSTALLED_TITLE">
        <source>Installed Applications</source>
        <translation>Installierte Programme</translation>
    </message>
    <message id="PANE_APPS_SEARCH">
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message id="PANE_APPS_FRONT">
        <source>&amp;Window in Front in 3 Seconds</source>
        <translation>&amp;Fenster im Vordergrund in 3 Sekunden</translation>
    </message>
    <message id="PANE_APPS_FRONT_COUNTDOWN">
        <source>Bring the window to the front… %1</source>
        <translation>Holen Sie das Fenster nach vorn … %1</translation>
    </message>
    <message id="PANE_APPS_REMOVE">
        <source>Remo&amp;ve</source>
        <translation>Ent&amp;fernen</translation>
    </message>
    <message id="PANE_APPS_FRONT_NO_AGENT">
        <source>ZED’s agent does not run, so nothing can tell which window is in front. Log out and in again (or start zed-agent), or pick the application from the installed ones.</source>
        <translation>Der ZED-Agent läuft nicht, daher kann niemand sagen, welches Fenster im Vordergrund ist. Melden Sie sich ab und wieder an (oder starten Sie zed-agent) oder wählen Sie das Programm aus den installierten.</translation>
    </message>
    <message id="PANE_APPS_FRONT_NOT_YET">
        <source>ZED has not heard yet which window is in front. Bring the application’s window to the front during the countdown, then try again.</source>
        <translation>ZED hat noch nicht erfahren, welches Fenster im Vordergrund ist. Holen Sie das Fenster des Programms während des Countdowns nach vorn und versuchen Sie es erneut.</translation>
    </message>
    <message id="PANE_APPS_FRONT_CANNOT_TELL">
        <source>ZED cannot tell which window is in front (%1). On GNOME, enable ZED’s GNOME Shell extension: gnome-extensions enable zed-focus@tovik.com, then log out and in. Other Wayland desktops than GNOME, KDE Plasma and sway do not tell: use an X11 session there, or pick the application from the installed ones.</source>
        <translation>ZED kann nicht sagen, welches Fenster im Vordergrund ist (%1). Unter GNOME aktivieren Sie die GNOME-Shell-Erweiterung von ZED: gnome-extensions enable zed-focus@tovik.com, dann ab- und wieder anmelden. Andere Wayland-Desktops als GNOME, KDE Plasma und sway verraten es nicht: Nutzen Sie dort eine X11-Sitzung oder wählen Sie das Programm aus den installierten.</translation>
    </message>
</context>
</TS>
