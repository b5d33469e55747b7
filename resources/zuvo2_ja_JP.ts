<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Body</name>
    <message>
        <source>Zuvo2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CBarUI</name>
    <message>
        <source>Frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fix</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Min</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Max</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DispAWLayout</name>
    <message>
        <source>Frame</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>I0ofImage</name>
    <message>
        <source>I0 of Image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Calc from XAFS file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Eng. Ptn in Img F. Name :</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ImgDispWCBar</name>
    <message>
        <source>Image Display with Color Bar</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ImgDispWPV</name>
    <message>
        <source>Image Display with Position and Value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>X</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Y</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Val:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scale Reset</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PopDockBase</name>
    <message>
        <source>Frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pop/Dock</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ProcCtrl</name>
    <message>
        <source>Proc Control</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Slice : </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1000</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto Exec</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>From</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>To</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2047</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Step</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Threads</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rotation : </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  Center</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>  Ax</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>H</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>V</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto Update Sinogram</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SeekCtrl</name>
    <message>
        <source>SeekCtrl</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SelectAFile</name>
    <message>
        <source>Frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SelectAImgFile</name>
    <message>
        <source>Frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exp Time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0.05</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>[s]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show Img</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SelectDataDir</name>
    <message>
        <source>Frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>KVT Std.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pattern</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sel. Data Dir.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SelectDataFiles</name>
    <message>
        <source>SelectDataFiles</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Data Select</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>keep Conds.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exp. Time[s]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;When Checked : The first file in the list will be read multitimes ( ex. 180 times )&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Multi.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SelectDir</name>
    <message>
        <source>Frame</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sel. Dir</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>XafsBatch</name>
    <message>
        <source>Data Loading</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Calculating</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Finished Calc.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Finished</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
