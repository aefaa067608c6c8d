<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name></name>
    <message id="HOST_ERROR_TITLE">
        <source>The mouse settings could not be opened</source>
        <translation>The mouse settings could not be opened</translation>
    </message>
    <message id="HOST_NO_PANE">
        <source>No settings pane was found. Looked in:
%1</source>
        <translation>No settings pane was found. Looked in:
%1</translation>
    </message>
    <message id="HOST_PANE_NOT_LOADED">
        <source>The settings pane %1 could not be loaded: %2</source>
        <translation>The settings pane %1 could not be loaded: %2</translation>
    </message>
    <message id="HOST_NOT_A_PANE">
        <source>%1 is not a settings pane.</source>
        <translation>%1 is not a settings pane.</translation>
    </message>
    <message id="HOST_WINDOW_TITLE">
        <source>%1 Mouse Settings</source>
        <translation>%1 Mouse Settings</translation>
    </message>
</context>
</TS>
