<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name></name>
    <message id="TOVIK_ZED_SITE_URL">
        <source>https://www.tovik.example/zed/</source>
        <extracomment>Address of the maker's web site for this language.</extracomment>
        <translation>https://www.tovik.example/zed/</translation>
    </message>
    <message id="TOVIK_ZED_UPDATE_URL">
        <source>https://www.tovik.example/zed/update/</source>
        <extracomment>Address of the maker's update page for this language.</extracomment>
        <translation>https://www.tovik.example/zed/update/</translation>
    </message>
    <message id="CLICK_TYPE_ERROR_TITLE">
        <source>One button must keep the primary click</source>
        <extracomment>Title of the alert that refuses a map type leaving no button with the primary click.</extracomment>
        <translation>One button must keep the primary click</translation>
    </message>
    <message id="CLICK_TYPE_ERROR_MESSAGE">
        <source>This choice would leave none of the mouse's buttons with the primary click. Give another button the primary click first, then change this one.</source>
        <extracomment>Message of that alert.</extracomment>
        <translation>This choice would leave none of the mouse's buttons with the primary click. Give another button the primary click first, then change this one.</translation>
    </message>
    <message id="CLICK_TYPE_ERROR_DEF_BUTTON">
        <source>OK</source>
        <extracomment>The alert's only button.</extracomment>
        <translation>OK</translation>
    </message>
    <message id="ADV_TITLE">
        <source>Advanced Settings</source>
        <translation>Advanced Settings</translation>
    </message>
    <message id="ADV_SENSOR_GROUP">
        <source>Sensor</source>
        <translation>Sensor</translation>
    </message>
    <message id="ADV_RESOLUTION_LABEL">
        <source>&amp;Resolution:</source>
        <translation>&amp;Resolution:</translation>
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
        <translation>On-the-fly sensitivity</translation>
    </message>
    <message id="ADV_OTFS_CHECK">
        <source>&amp;Buttons set to on-the-fly sensitivity step it while you work</source>
        <translation>&amp;Buttons set to on-the-fly sensitivity step it while you work</translation>
    </message>
    <message id="ADV_OTFS_SCREEN_CHECK">
        <source>&amp;Show the new sensitivity on the screen</source>
        <translation>&amp;Show the new sensitivity on the screen</translation>
    </message>
    <message id="ADV_NOTE">
        <source>Changes take effect at once; OK closes this window.</source>
        <translation>Changes take effect at once; OK closes this window.</translation>
    </message>
    <message id="ADV_OK_BUTTON">
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message id="PANE_TAB_SENSITIVITY">
        <source>Sensitivity</source>
        <translation>Sensitivity</translation>
    </message>
    <message id="PANE_TAB_BUTTONS">
        <source>Buttons</source>
        <translation>Buttons</translation>
    </message>
    <message id="PANE_SITE_BUTTON">
        <source>Tovik on the &amp;Web</source>
        <translation>Tovik on the &amp;Web</translation>
    </message>
    <message id="PANE_SITE_TIP">
        <source>Opens the maker's web site in your browser.</source>
        <translation>Opens the maker's web site in your browser.</translation>
    </message>
    <message id="PANE_UPDATE_BUTTON">
        <source>Check for &amp;Updates</source>
        <translation>Check for &amp;Updates</translation>
    </message>
    <message id="PANE_UPDATE_TIP">
        <source>Opens the page with the latest software for your mouse.</source>
        <translation>Opens the page with the latest software for your mouse.</translation>
    </message>
    <message id="PANE_HELP_BUTTON">
        <source>&amp;Help</source>
        <translation>&amp;Help</translation>
    </message>
    <message id="PANE_HELP_TIP">
        <source>Explains every setting of this pane.</source>
        <translation>Explains every setting of this pane.</translation>
    </message>
    <message id="SENS_HAND_GROUP">
        <source>Hand</source>
        <translation>Hand</translation>
    </message>
    <message id="SENS_RIGHT_HAND">
        <source>&amp;Right hand</source>
        <translation>&amp;Right hand</translation>
    </message>
    <message id="SENS_LEFT_HAND">
        <source>&amp;Left hand</source>
        <translation>&amp;Left hand</translation>
    </message>
    <message id="SENS_TRACKING_GROUP">
        <source>Tracking</source>
        <translation>Tracking</translation>
    </message>
    <message id="SENS_SENSITIVITY_LABEL">
        <source>&amp;Sensitivity:</source>
        <translation>&amp;Sensitivity:</translation>
    </message>
    <message id="PANE_SLOW">
        <source>Slow</source>
        <translation>Slow</translation>
    </message>
    <message id="SENS_SENSITIVITY_TIP">
        <source>How far the pointer travels for a movement of the mouse, from 1.0 to 10.0.</source>
        <translation>How far the pointer travels for a movement of the mouse, from 1.0 to 10.0.</translation>
    </message>
    <message id="PANE_FAST">
        <source>Fast</source>
        <translation>Fast</translation>
    </message>
    <message id="SENS_ONE_RADIO">
        <source>&amp;One sensitivity for both directions</source>
        <translation>&amp;One sensitivity for both directions</translation>
    </message>
    <message id="SENS_SEPARATE_RADIO">
        <source>Separa&amp;te horizontal and vertical sensitivities</source>
        <translation>Separa&amp;te horizontal and vertical sensitivities</translation>
    </message>
    <message id="SENS_X_LABEL">
        <source>Horizontal (&amp;X):</source>
        <translation>Horizontal (&amp;X):</translation>
    </message>
    <message id="SENS_Y_LABEL">
        <source>Vertical (&amp;Y):</source>
        <translation>Vertical (&amp;Y):</translation>
    </message>
    <message id="SENS_ACCEL_GROUP">
        <source>Acceleration</source>
        <translation>Acceleration</translation>
    </message>
    <message id="SENS_ACCEL_CHECK">
        <source>Let the &amp;mouse accelerate the pointer instead of the desktop</source>
        <translation>Let the &amp;mouse accelerate the pointer instead of the desktop</translation>
    </message>
    <message id="SENS_ACCEL_TIP">
        <source>On: the mouse's driver accelerates the pointer by the amount below and the desktop's own acceleration is turned off. Off: the desktop accelerates it by that amount.</source>
        <translation>On: the mouse's driver accelerates the pointer by the amount below and the desktop's own acceleration is turned off. Off: the desktop accelerates it by that amount.</translation>
    </message>
    <message id="SENS_ACCEL_LABEL">
        <source>&amp;Amount:</source>
        <translation>&amp;Amount:</translation>
    </message>
    <message id="SENS_WHEEL_GROUP">
        <source>Scrolling and double-click</source>
        <translation>Scrolling and double-click</translation>
    </message>
    <message id="SENS_SCROLL_LABEL">
        <source>Scroll-wheel s&amp;peed:</source>
        <translation>Scroll-wheel s&amp;peed:</translation>
    </message>
    <message id="SENS_DBLCLICK_LABEL">
        <source>&amp;Double-click speed:</source>
        <translation>&amp;Double-click speed:</translation>
    </message>
    <message id="SENS_DBLCLICK_TIP">
        <source>How quickly the two clicks of a double-click must follow each other.</source>
        <translation>How quickly the two clicks of a double-click must follow each other.</translation>
    </message>
    <message id="SENS_MOVIE_TIP">
        <source>Double-click the picture to try the double-click speed.</source>
        <translation>Double-click the picture to try the double-click speed.</translation>
    </message>
    <message id="SENS_DBLCLICK_HINT">
        <source>Double-click the picture to try the speed you have set.</source>
        <translation>Double-click the picture to try the speed you have set.</translation>
    </message>
    <message id="SENS_ADVANCED_BUTTON">
        <source>Ad&amp;vanced…</source>
        <translation>Ad&amp;vanced…</translation>
    </message>
    <message id="SENS_ADVANCED_TIP">
        <source>Resolution and on-the-fly sensitivity.</source>
        <translation>Resolution and on-the-fly sensitivity.</translation>
    </message>
    <message id="PANE_MEDIUM">
        <source>Medium</source>
        <translation>Medium</translation>
    </message>
    <message id="SENS_ACCEL_NONE">
        <source>None</source>
        <translation>None</translation>
    </message>
    <message id="SENS_ACCEL_STRONG">
        <source>Strong</source>
        <translation>Strong</translation>
    </message>
    <message id="SENS_ACCEL_BY_DESKTOP">
        <source>Now the desktop accelerates the pointer by this amount.</source>
        <extracomment>Says who accelerates the pointer while the check box above is off.</extracomment>
        <translation>Now the desktop accelerates the pointer by this amount.</translation>
    </message>
    <message id="SENS_ACCEL_BY_MOUSE">
        <source>Now the mouse's driver accelerates the pointer by this amount; the desktop's own acceleration is off.</source>
        <extracomment>Says who accelerates the pointer while the check box above is on.</extracomment>
        <translation>Now the mouse's driver accelerates the pointer by this amount; the desktop's own acceleration is off.</translation>
    </message>
    <message id="SENS_MOVIE_NAME">
        <source>Double-click test</source>
        <translation>Double-click test</translation>
    </message>
    <message id="PANE_RESTORE_BUTTON">
        <source>Restore De&amp;faults</source>
        <translation>Restore De&amp;faults</translation>
    </message>
    <message id="PANE_RESTORE_TIP">
        <source>Puts back the settings the mouse started with, after asking.</source>
        <translation>Puts back the settings the mouse started with, after asking.</translation>
    </message>
    <message id="PANE_RESTORE_TITLE">
        <source>Restore the default settings?</source>
        <translation>Restore the default settings?</translation>
    </message>
    <message id="PANE_RESTORE_MESSAGE">
        <source>The sensitivities, speeds, hand, resolution, on-the-fly sensitivity and every button's mapping go back to how the mouse was first set up. The acceleration amount stays as it is.</source>
        <translation>The sensitivities, speeds, hand, resolution, on-the-fly sensitivity and every button's mapping go back to how the mouse was first set up. The acceleration amount stays as it is.</translation>
    </message>
    <message id="PANE_RESTORE_CONFIRM">
        <source>Restore Defaults</source>
        <translation>Restore Defaults</translation>
    </message>
    <message id="PANE_RESTORE_CANCEL">
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message id="STATUS_NAME">
        <source>Status</source>
        <extracomment>Accessible name of the status line at the top of the pane.</extracomment>
        <translation>Status</translation>
    </message>
    <message id="STATUS_CHECKING">
        <source>Looking for the mouse…</source>
        <translation>Looking for the mouse…</translation>
    </message>
    <message id="STATUS_NO_DRIVER">
        <source>The mouse&apos;s driver is not running, so no mouse gets these settings: start it with “sudo systemctl start zed-driver”.</source>
        <translation>The mouse&apos;s driver is not running, so no mouse gets these settings: start it with “sudo systemctl start zed-driver”.</translation>
    </message>
    <message id="STATUS_NO_SIMULATOR">
        <source>The simulated mouse is not running: start it with “zed-mouse-sim”.</source>
        <translation>The simulated mouse is not running: start it with “zed-mouse-sim”.</translation>
    </message>
    <message id="STATUS_NO_MOUSE">
        <source>No ZED mouse is connected: plug it in, and it gets these settings at once.</source>
        <translation>No ZED mouse is connected: plug it in, and it gets these settings at once.</translation>
    </message>
    <message id="STATUS_ONE_MOUSE">
        <source>A ZED mouse is connected.</source>
        <translation>A ZED mouse is connected.</translation>
    </message>
    <message id="STATUS_MICE">
        <source>%1 ZED mice are connected.</source>
        <extracomment>%1: how many of the maker&apos;s mice are connected (two or more).</extracomment>
        <translation>%1 ZED mice are connected.</translation>
    </message>
    <message id="STATUS_AGENT">
        <source>The agent is running and applies every change at once.</source>
        <translation>The agent is running and applies every change at once.</translation>
    </message>
    <message id="STATUS_NO_AGENT">
        <source>The agent is not running, so changes are saved but not applied: log out and in again, or run “systemctl --user start zed-agent”.</source>
        <translation>The agent is not running, so changes are saved but not applied: log out and in again, or run “systemctl --user start zed-agent”.</translation>
    </message>
    <message id="STATUS_NO_AGENT_SIMULATOR">
        <source>The agent is not running, so changes are saved but not applied: run “ZED_PLATFORM=simulator zed-agent”.</source>
        <translation>The agent is not running, so changes are saved but not applied: run “ZED_PLATFORM=simulator zed-agent”.</translation>
    </message>
    <message id="LINK_FAILURE_TITLE">
        <source>The page could not be opened</source>
        <translation>The page could not be opened</translation>
    </message>
    <message id="LINK_FAILURE_MESSAGE">
        <source>No program on this computer opened “%1”. Choose a default web browser in your desktop&apos;s settings, or copy the address into a browser.</source>
        <extracomment>%1: the web address or help file that no program opened.</extracomment>
        <translation>No program on this computer opened “%1”. Choose a default web browser in your desktop&apos;s settings, or copy the address into a browser.</translation>
    </message>
    <message id="ADV_RESOLUTION_NOTE">
        <source>This mouse keeps the resolution set in its own hardware; ZED shows the stored value but cannot change it.</source>
        <translation>This mouse keeps the resolution set in its own hardware; ZED shows the stored value but cannot change it.</translation>
    </message>
    <message id="ADV_RESOLUTION_TIP">
        <source>The mouse&apos;s own resolution; it cannot be changed from here.</source>
        <translation>The mouse&apos;s own resolution; it cannot be changed from here.</translation>
    </message>
    <message id="ADV_OTFS_TIP">
        <source>Hold a button set to on-the-fly sensitivity and turn the wheel: each notch changes the sensitivity by 0.2, between 1.0 and 10.0. Pressed and released without turning, the button gives its own click.</source>
        <translation>Hold a button set to on-the-fly sensitivity and turn the wheel: each notch changes the sensitivity by 0.2, between 1.0 and 10.0. Pressed and released without turning, the button gives its own click.</translation>
    </message>
    <message id="PANE_SETS_LABEL">
        <source>Settings &amp;for:</source>
        <translation>Settings &amp;for:</translation>
    </message>
    <message id="PANE_SETS_TIP">
        <source>Which settings the pages show and change: those for all applications, or those of a set for some applications.</source>
        <translation>Which settings the pages show and change: those for all applications, or those of a set for some applications.</translation>
    </message>
    <message id="PANE_SETS_ALL">
        <source>All applications</source>
        <translation>All applications</translation>
    </message>
    <message id="PANE_SETS_ADD">
        <source>&amp;New Set…</source>
        <translation>&amp;New Set…</translation>
    </message>
    <message id="PANE_SETS_ADD_TIP">
        <source>Makes a set of settings for the applications you name; it starts with the settings for all applications.</source>
        <translation>Makes a set of settings for the applications you name; it starts with the settings for all applications.</translation>
    </message>
    <message id="PANE_SETS_RENAME">
        <source>Re&amp;name…</source>
        <translation>Re&amp;name…</translation>
    </message>
    <message id="PANE_SETS_RENAME_TIP">
        <source>Gives the selected set another name.</source>
        <translation>Gives the selected set another name.</translation>
    </message>
    <message id="PANE_SETS_RENAME_TITLE">
        <source>Rename Set</source>
        <translation>Rename Set</translation>
    </message>
    <message id="PANE_SETS_APPS">
        <source>&amp;Applications…</source>
        <translation>&amp;Applications…</translation>
    </message>
    <message id="PANE_SETS_APPS_TIP">
        <source>Changes which applications the selected set applies to.</source>
        <translation>Changes which applications the selected set applies to.</translation>
    </message>
    <message id="PANE_SETS_REMOVE">
        <source>Re&amp;move…</source>
        <translation>Re&amp;move…</translation>
    </message>
    <message id="PANE_SETS_REMOVE_TIP">
        <source>Removes the selected set, after asking; its applications then get the settings for all applications.</source>
        <translation>Removes the selected set, after asking; its applications then get the settings for all applications.</translation>
    </message>
    <message id="PANE_SETS_REMOVE_TITLE">
        <source>Remove the set “%1”?</source>
        <translation>Remove the set “%1”?</translation>
    </message>
    <message id="PANE_SETS_REMOVE_MESSAGE">
        <source>Its applications will get the settings for all applications again. This cannot be undone.</source>
        <translation>Its applications will get the settings for all applications again. This cannot be undone.</translation>
    </message>
    <message id="PANE_SETS_REMOVE_CONFIRM">
        <source>Remove</source>
        <translation>Remove</translation>
    </message>
    <message id="PANE_SET_RESET">
        <source>• Reset</source>
        <translation>• Reset</translation>
    </message>
    <message id="PANE_SET_RESET_TIP">
        <source>This set has its own value here. Reset gives it the value for all applications again.</source>
        <translation>This set has its own value here. Reset gives it the value for all applications again.</translation>
    </message>
    <message id="PANE_SET_RESET_NAME">
        <source>Reset %1 to the value for all applications</source>
        <translation>Reset %1 to the value for all applications</translation>
    </message>
    <message id="PANE_SET_FIXED_TIP">
        <source>The same for all applications: choose “All applications” above to change it.</source>
        <translation>The same for all applications: choose “All applications” above to change it.</translation>
    </message>
    <message id="PANE_APPS_DIALOG_TITLE">
        <source>Applications of the Set</source>
        <translation>Applications of the Set</translation>
    </message>
    <message id="PANE_APPS_NAME_LABEL">
        <source>Name of the set</source>
        <translation>Name of the set</translation>
    </message>
    <message id="PANE_APPS_NAME_PLACEHOLDER">
        <source>Name of the set, such as Games</source>
        <translation>Name of the set, such as Games</translation>
    </message>
    <message id="PANE_APPS_LIST_LABEL">
        <source>Applications the set applies to</source>
        <translation>Applications the set applies to</translation>
    </message>
    <message id="PANE_APPS_TYPED_PLACEHOLDER">
        <source>Application’s name, app_id or program</source>
        <translation>Application’s name, app_id or program</translation>
    </message>
    <message id="PANE_APPS_ADD_TYPED">
        <source>A&amp;dd</source>
        <translation>A&amp;dd</translation>
    </message>
    <message id="PANE_APPS_INSTALLED">
        <source>&amp;Installed Applications…</source>
        <translation>&amp;Installed Applications…</translation>
    </message>
    <message id="PANE_APPS_INSTALLED_TITLE">
        <source>Installed Applications</source>
        <translation>Installed Applications</translation>
    </message>
    <message id="PANE_APPS_SEARCH">
        <source>Search</source>
        <translation>Search</translation>
    </message>
    <message id="PANE_APPS_FRONT">
        <source>&amp;Window in Front in 3 Seconds</source>
        <translation>&amp;Window in Front in 3 Seconds</translation>
    </message>
    <message id="PANE_APPS_FRONT_COUNTDOWN">
        <source>Bring the window to the front… %1</source>
        <translation>Bring the window to the front… %1</translation>
    </message>
    <message id="PANE_APPS_REMOVE">
        <source>Remo&amp;ve</source>
        <translation>Remo&amp;ve</translation>
    </message>
    <message id="PANE_APPS_FRONT_NO_AGENT">
        <source>ZED’s agent does not run, so nothing can tell which window is in front. Log out and in again (or start zed-agent), or pick the application from the installed ones.</source>
        <translation>ZED’s agent does not run, so nothing can tell which window is in front. Log out and in again (or start zed-agent), or pick the application from the installed ones.</translation>
    </message>
    <message id="PANE_APPS_FRONT_NOT_YET">
        <source>ZED has not heard yet which window is in front. Bring the application’s window to the front during the countdown, then try again.</source>
        <translation>ZED has not heard yet which window is in front. Bring the application’s window to the front during the countdown, then try again.</translation>
    </message>
    <message id="PANE_APPS_FRONT_CANNOT_TELL">
        <source>ZED cannot tell which window is in front (%1). On GNOME, enable ZED’s GNOME Shell extension: gnome-extensions enable zed-focus@tovik.com, then log out and in. Other Wayland desktops than GNOME, KDE Plasma and sway do not tell: use an X11 session there, or pick the application from the installed ones.</source>
        <translation>ZED cannot tell which window is in front (%1). On GNOME, enable ZED’s GNOME Shell extension: gnome-extensions enable zed-focus@tovik.com, then log out and in. Other Wayland desktops than GNOME, KDE Plasma and sway do not tell: use an X11 session there, or pick the application from the installed ones.</translation>
    </message>
</context>
</TS>
