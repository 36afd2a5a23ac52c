<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>picrelink::ui::DetailsDialog</name>
    <message>
        <source>Details</source>
        <translation>详情</translation>
    </message>
    <message>
        <source>Copy All</source>
        <translation>全部复制</translation>
    </message>
</context>
<context>
    <name>picrelink::ui::FolderBrowser</name>
    <message>
        <source>Open</source>
        <translation>打开</translation>
    </message>
    <message>
        <source>Copy Path</source>
        <translation>复制路径</translation>
    </message>
</context>
<context>
    <name>picrelink::ui::LevelEdit</name>
    <message>
        <source>Levels up from the pictures&apos; folder</source>
        <translation>CSV中描述图片位置倒推几层目录</translation>
    </message>
    <message>
        <source>0: the folder named in the CSV is the pictures&apos; own folder; 1: the folder above it</source>
        <translation>0：CSV中描述图片位置就是图片所在的目录；1：图片所在目录的上一层</translation>
    </message>
    <message>
        <source>&amp;Step up</source>
        <translation>增大(&amp;S)</translation>
    </message>
    <message>
        <source>Step &amp;down</source>
        <translation>减小(&amp;D)</translation>
    </message>
</context>
</TS>
