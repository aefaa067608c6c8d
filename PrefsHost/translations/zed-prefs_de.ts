<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name></name>
    <message id="HOST_ERROR_TITLE">
        <source>The mouse settings could not be opened</source>
        <translation>Die Mauseinstellungen konnten nicht geöffnet werden</translation>
    </message>
    <message id="HOST_NO_PANE">
        <source>No settings pane was found. Looked in:
%1</source>
        <translation>Es wurde kein Einstellungsbereich gefunden. Gesucht in:
%1</translation>
    </message>
    <message id="HOST_PANE_NOT_LOADED">
        <source>The settings pane %1 could not be loaded: %2</source>
        <translation>Der Einstellungsbereich %1 konnte nicht geladen werden: %2</translation>
    </message>
    <message id="HOST_NOT_A_PANE">
        <source>%1 is not a settings pane.</source>
        <translation>%1 ist kein Einstellungsbereich.</translation>
    </message>
    <message id="HOST_WINDOW_TITLE">
        <source>%1 Mouse Settings</source>
        <translation>%1-Maus-Einstellungen</translation>
    </message>
</context>
</TS>
