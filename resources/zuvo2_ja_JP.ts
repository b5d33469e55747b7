<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Body</name>
    <message>
        <source>Zuvo2</source>
        <translation>Zuvo2</translation>
    </message>
</context>
</TS>
