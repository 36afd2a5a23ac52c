<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>picrelink::ui::DetailsDialog</name>
    <message>
        <source>Details</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Copy All</source>
        <translation>Copy All</translation>
    </message>
</context>
<context>
    <name>picrelink::ui::FolderBrowser</name>
    <message>
        <source>Open</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>Copy Path</source>
        <translation>Copy Path</translation>
    </message>
</context>
<context>
    <name>picrelink::ui::LevelEdit</name>
    <message>
        <source>Levels up from the pictures&apos; folder</source>
        <translation>Levels up from the pictures&apos; folder</translation>
    </message>
    <message>
        <source>0: the folder named in the CSV is the pictures&apos; own folder; 1: the folder above it</source>
        <translation>0: the folder named in the CSV is the pictures&apos; own folder; 1: the folder above it</translation>
    </message>
    <message>
        <source>&amp;Step up</source>
        <translation>&amp;Step up</translation>
    </message>
    <message>
        <source>Step &amp;down</source>
        <translation>Step &amp;down</translation>
    </message>
</context>
</TS>
