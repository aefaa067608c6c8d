<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name></name>
    <message id="EXTRA_PAGE_TEXT">
        <source>Only on the extra page</source>
        <translation>Nur auf der zusätzlichen Seite</translation>
    </message>
</context>
</TS>
