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
</context>
</TS>
