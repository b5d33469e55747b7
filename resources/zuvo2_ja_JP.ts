<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>WorkStatus</name>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Ends a run after the slices in progress, or cancels a load (the loaded series stays)</source>
        <translation>計算中のスライスを終えてから計算を停止します。読み込み中は読み込みを取り消します (読み込み済みのシリーズはそのまま)</translation>
    </message>
    <message>
        <source>Warnings %1, errors %2</source>
        <translation>警告 %1、エラー %2</translation>
    </message>
    <message>
        <source>Loading %1/%2 files, %3 files/s, %4 s left</source>
        <translation>読み込み中 %1/%2 ファイル、%3 ファイル/秒、残り %4 秒</translation>
    </message>
    <message>
        <source>Loading %1/%2 files</source>
        <translation>読み込み中 %1/%2 ファイル</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Slices %1/%2, %3 slices/s, %4 s left</source>
        <translation>スライス %1/%2、%3 スライス/秒、残り %4 秒</translation>
    </message>
    <message>
        <source>Correcting the projections %1/%2</source>
        <translation>投影像を補正中 %1/%2</translation>
    </message>
    <message>
        <source>Stopped, ending the correction of the projections</source>
        <translation>停止: 投影像の補正を終えています</translation>
    </message>
    <message>
        <source>Slices %1/%2</source>
        <translation>スライス %1/%2</translation>
    </message>
    <message>
        <source>Stopped, finishing the slices in progress (%1 left)</source>
        <translation>停止: 計算中のスライスを仕上げています (残り %1)</translation>
    </message>
    <message>
        <source>Loading cancelled after %1 of %2 files</source>
        <translation>読み込み取消 (%2 ファイル中 %1 ファイル読み込み済み)</translation>
    </message>
    <message>
        <source>Loaded %1 files in %2 s</source>
        <translation>%1 ファイルを %2 秒で読み込みました</translation>
    </message>
    <message>
        <source>Last run: %1/%2 slices in %3 s</source>
        <translation>前回の計算: %1/%2 スライス、%3 秒</translation>
    </message>
</context>
<context>
    <name>Body</name>
    <message>
        <source>Zuvo2</source>
        <translation>Zuvo2</translation>
    </message>
    <message>
        <source>Auto Save Img</source>
        <translation>画像自動保存</translation>
    </message>
    <message>
        <source>Auto Save Data</source>
        <translation>データ自動保存</translation>
    </message>
    <message>
        <source>Auto Save TIFF</source>
        <translation>TIFF 自動保存</translation>
    </message>
    <message>
        <source>Also write each slice&apos;s calculation region as a 32-bit float TIFF (directory and name default to the data files&apos;)</source>
        <translation>各スライスの計算領域を 32 ビット浮動小数点 TIFF でも保存します (ディレクトリと名前は省略時データファイルと同じ)</translation>
    </message>
    <message>
        <source>Scan (HDF5)…</source>
        <translation>スキャン (HDF5)…</translation>
    </message>
    <message>
        <source>Load a whole scan from one HDF5 Data Exchange file: projections, I0 and BG from its flats and darks, and its angles</source>
        <translation>HDF5 Data Exchange ファイル 1 つからスキャン全体を読み込みます: 投影像、フラットとダークから I0 と BG、回転角</translation>
    </message>
    <message>
        <source>Stack (TIFF)…</source>
        <translation>スタック (TIFF)…</translation>
    </message>
    <message>
        <source>Load every page of a multi-page TIFF file as the projection series</source>
        <translation>マルチページ TIFF ファイルの全ページを投影像シリーズとして読み込みます</translation>
    </message>
    <message>
        <source>Scan (HDF5)</source>
        <translation>スキャン (HDF5)</translation>
    </message>
    <message>
        <source>Stack (TIFF)</source>
        <translation>スタック (TIFF)</translation>
    </message>
    <message>
        <source>HDF5 files (*.h5 *.hdf5 *.hdf *.nxs);;All files (*)</source>
        <translation>HDF5 ファイル (*.h5 *.hdf5 *.hdf *.nxs);;すべてのファイル (*)</translation>
    </message>
    <message>
        <source>TIFF files (*.tif *.tiff);;All files (*)</source>
        <translation>TIFF ファイル (*.tif *.tiff);;すべてのファイル (*)</translation>
    </message>
    <message>
        <source>Fix Color Scale</source>
        <translation>カラースケール固定</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>最大</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>CT1</source>
        <translation>CT1</translation>
    </message>
    <message>
        <source>CT2</source>
        <translation>CT2</translation>
    </message>
    <message>
        <source>Show Res.</source>
        <translation>結果表示</translation>
    </message>
    <message>
        <source>Calc</source>
        <translation>計算</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>End</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Spent</source>
        <translation>所要時間</translation>
    </message>
    <message>
        <source>CT Proc. Ctrl</source>
        <translation>CT 処理制御</translation>
    </message>
    <message>
        <source>I0 Image</source>
        <translation>I0 画像</translation>
    </message>
    <message>
        <source>I0 after scan</source>
        <translation>スキャン後の I0</translation>
    </message>
    <message>
        <source>I0 taken after the scan: each projection&apos;s I0 is interpolated between the I0 above and this by projection index</source>
        <translation>スキャン後に撮った I0：各投影の I0 は上の I0 とこれの間で投影番号により線形補間されます</translation>
    </message>
    <message>
        <source>BG Image</source>
        <translation>BG 画像</translation>
    </message>
    <message>
        <source>Show Additionl Info for CT XAFS</source>
        <translation>CT-XAFS 用の追加情報を表示</translation>
    </message>
    <message>
        <source>Sequential Exec</source>
        <translation>逐次実行</translation>
    </message>
    <message>
        <source>Seq. Calc.</source>
        <translation>逐次計算</translation>
    </message>
    <message>
        <source>Progress Msg.</source>
        <translation>進捗メッセージ</translation>
    </message>
    <message>
        <source>[ms]</source>
        <translation>[ms]</translation>
    </message>
    <message>
        <source>Raw Image</source>
        <translation>生画像</translation>
    </message>
    <message>
        <source>Sinogram</source>
        <translation>サイノグラム</translation>
    </message>
    <message>
        <source>CT Reconstructed Image</source>
        <translation>CT 再構成像</translation>
    </message>
    <message>
        <source>Row Images</source>
        <translation>投影像</translation>
    </message>
    <message>
        <source>I0 File Set</source>
        <translation>I0 ファイルセット</translation>
    </message>
    <message>
        <source>I0 of Raw Image</source>
        <translation>生画像の I0</translation>
    </message>
    <message>
        <source>I0 of I0 Image</source>
        <translation>I0 画像の I0</translation>
    </message>
    <message>
        <source>Measured Raw Image</source>
        <translation>測定生画像</translation>
    </message>
    <message>
        <source>Check Sinogram</source>
        <translation>サイノグラム確認</translation>
    </message>
    <message>
        <source>CT Reconstruction</source>
        <translation>CT 再構成</translation>
    </message>
    <message>
        <source>Sweep refused: %1</source>
        <translation>スイープできません: %1</translation>
    </message>
    <message>
        <source>Messages</source>
        <translation>メッセージ</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>XAFS</source>
        <translation>XAFS</translation>
    </message>
    <message>
        <source>XAFS Spectra</source>
        <translation>XAFS スペクトル</translation>
    </message>
</context>
<context>
    <name>CBarUI</name>
    <message>
        <source>Frame</source>
        <translation>フレーム</translation>
    </message>
    <message>
        <source>Fix</source>
        <translation>固定</translation>
    </message>
    <message>
        <source>Min</source>
        <translation>最小</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Max</source>
        <translation>最大</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
</context>
<context>
    <name>CtDisplays</name>
    <message>
        <source>CT2 %1</source>
        <translation>CT2 %1</translation>
    </message>
    <message>
        <source>CT Calc2 %1</source>
        <translation>CT2 計算 %1</translation>
    </message>
</context>
<context>
    <name>CorSweepPanel</name>
    <message>
        <source>Centre Sweep</source>
        <translation>回転中心スイープ</translation>
    </message>
    <message>
        <source>From</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>To</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>間隔</translation>
    </message>
    <message>
        <source>Sweep</source>
        <translation>スイープ</translation>
    </message>
    <message>
        <source>Save...</source>
        <translation>保存...</translation>
    </message>
    <message>
        <source>Centre of rotation (pixels)</source>
        <translation>回転中心 (ピクセル)</translation>
    </message>
    <message>
        <source>Measure</source>
        <translation>評価値</translation>
    </message>
    <message>
        <source>Sweeping %1 centres...</source>
        <translation>%1 個の中心でスイープ中...</translation>
    </message>
    <message>
        <source>Take %1 as the centre</source>
        <translation>%1 を回転中心にする</translation>
    </message>
    <message>
        <source>Sharpest at %1 (measure %2, lower is sharper); click a slice to take its centre</source>
        <translation>最も鮮明: %1 (評価値 %2、小さいほど鮮明); スライスをクリックするとその中心を使います</translation>
    </message>
    <message>
        <source>No trial gave a slice</source>
        <translation>スライスが得られませんでした</translation>
    </message>
    <message>
        <source>No sweep to save</source>
        <translation>保存するスイープがありません</translation>
    </message>
    <message>
        <source>Save Sweep Picture</source>
        <translation>スイープ画像の保存</translation>
    </message>
    <message>
        <source>Pictures (*.png *.jpg *.tif)</source>
        <translation>画像 (*.png *.jpg *.tif)</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <translation>%1 を保存しました</translation>
    </message>
</context>
<context>
    <name>CtCalc</name>
    <message>
        <source>CT Calc</source>
        <translation>CT 計算</translation>
    </message>
    <message>
        <source>Disp R.</source>
        <translation>表示範囲</translation>
    </message>
    <message>
        <source>-</source>
        <translation>-</translation>
    </message>
    <message>
        <source>Set To C. Region</source>
        <translation>計算範囲に設定</translation>
    </message>
    <message>
        <source>Cacl R.</source>
        <translation>計算範囲</translation>
    </message>
    <message>
        <source>Calc</source>
        <translation>計算</translation>
    </message>
    <message>
        <source>At Once</source>
        <translation>一括</translation>
    </message>
    <message>
        <source>Slice No.</source>
        <translation>スライス番号</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>End</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>Spent [sec]</source>
        <translation>所要時間 [s]</translation>
    </message>
</context>
<context>
    <name>DispAWLayout</name>
    <message>
        <source>Frame</source>
        <translation>フレーム</translation>
    </message>
</context>
<context>
    <name>I0ofImage</name>
    <message>
        <source>I0 of Image</source>
        <translation>画像の I0</translation>
    </message>
    <message>
        <source>Calc from XAFS file</source>
        <translation>XAFS ファイルから計算</translation>
    </message>
    <message>
        <source>Eng. Ptn in Img F. Name :</source>
        <translation>ファイル名のエネルギー形式 :</translation>
    </message>
</context>
<context>
    <name>ImgDispWCBar</name>
    <message>
        <source>Image Display with Color Bar</source>
        <translation>カラーバー付き画像表示</translation>
    </message>
</context>
<context>
    <name>ImgDispWPV</name>
    <message>
        <source>Image Display with Position and Value</source>
        <translation>位置・値表示付き画像表示</translation>
    </message>
    <message>
        <source>X</source>
        <translation>X</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>Y</source>
        <translation>Y</translation>
    </message>
    <message>
        <source>Val:</source>
        <translation>値:</translation>
    </message>
    <message>
        <source>Scale Reset</source>
        <translation>全体表示</translation>
    </message>
</context>
<context>
    <name>MessagePanel</name>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
</context>
<context>
    <name>PopDockBase</name>
    <message>
        <source>Frame</source>
        <translation>フレーム</translation>
    </message>
    <message>
        <source>Pop/Dock</source>
        <translation>分離/格納</translation>
    </message>
</context>
<context>
    <name>ProcCtrl</name>
    <message>
        <source>Proc Control</source>
        <translation>処理制御</translation>
    </message>
    <message>
        <source>Slice : </source>
        <translation>スライス : </translation>
    </message>
    <message>
        <source>Current</source>
        <translation>現在</translation>
    </message>
    <message>
        <source>1000</source>
        <translation>1000</translation>
    </message>
    <message>
        <source>Auto Exec</source>
        <translation>自動実行</translation>
    </message>
    <message>
        <source>From</source>
        <translation>開始</translation>
    </message>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>To</source>
        <translation>終了</translation>
    </message>
    <message>
        <source>2047</source>
        <translation>2047</translation>
    </message>
    <message>
        <source>Step</source>
        <translation>間隔</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>Threads</source>
        <translation>スレッド数</translation>
    </message>
    <message>
        <source>Rotation : </source>
        <translation>回転 : </translation>
    </message>
    <message>
        <source>  Center</source>
        <translation>  中心</translation>
    </message>
    <message>
        <source>  Ax</source>
        <translation>  軸</translation>
    </message>
    <message>
        <source>H</source>
        <translation>水平</translation>
    </message>
    <message>
        <source>V</source>
        <translation>垂直</translation>
    </message>
    <message>
        <source>Auto Update Sinogram</source>
        <translation>サイノグラム自動更新</translation>
    </message>
    <message>
        <source>Sweep</source>
        <translation>スイープ</translation>
    </message>
    <message>
        <source>Reconstruct the current slice about a range of centres and compare them</source>
        <translation>現在のスライスを複数の回転中心で再構成して比べる</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自動</translation>
    </message>
    <message>
        <source>Find the centre of rotation on the current slice</source>
        <translation>現在のスライスで回転中心を求めます</translation>
    </message>
    <message>
        <source>Filter : </source>
        <translation>フィルタ : </translation>
    </message>
    <message>
        <source>Filter of the back-projection; ramp-unpadded reproduces earlier results</source>
        <translation>逆投影のフィルタ。ramp-unpadded は以前の結果を再現します</translation>
    </message>
    <message>
        <source>Cutoff</source>
        <translation>カットオフ</translation>
    </message>
    <message>
        <source>Fraction of the Nyquist frequency, above 0 and at most 1</source>
        <translation>ナイキスト周波数に対する割合 (0 より大きく 1 以下)</translation>
    </message>
    <message>
        <source>  Pixel (µm)</source>
        <translation>  画素 (µm)</translation>
    </message>
    <message>
        <source>Detector pixel size; empty: values stay per pixel</source>
        <translation>検出器の画素サイズ。空欄のときは値は画素あたりのまま</translation>
    </message>
    <message>
        <source>  Rings</source>
        <translation>  リング</translation>
    </message>
    <message>
        <source>Ring removal: window in detector columns (off: none)</source>
        <translation>リング除去: 検出器の列数で表した窓幅 (off: なし)</translation>
    </message>
    <message>
        <source>off</source>
        <translation>off</translation>
    </message>
    <message>
        <source>  Angles</source>
        <translation>  角度</translation>
    </message>
    <message>
        <source>half: n images over 180 degrees; half-inclusive: n + 1 ending at 180 (the last is not used); full: n over 360; full-offset: n over 360 with the axis near one edge (p and p + n/2 joined)</source>
        <translation>half: 180 度に n 枚、half-inclusive: 180 度で終わる n + 1 枚 (最後の 1 枚は使いません)、full: 360 度に n 枚、full-offset: 回転軸を片端近くに置いて 360 度に n 枚 (p と p + n/2 をつなぎます)</translation>
    </message>
    <message>
        <source>Zingers : </source>
        <translation>ジンガー : </translation>
    </message>
    <message>
        <source>Zinger removal: a pixel above its 3 x 3 median by more than this many times the local noise is replaced by the median (off: none; 5 to 10 suits counts)</source>
        <translation>ジンガー除去: 3 x 3 の中央値を局所ノイズのこの倍数より大きく超える画素を中央値で置き換えます (off: なし、計数には 5 から 10)</translation>
    </message>
    <message>
        <source>  Phase δ/β,mm,keV</source>
        <translation>  位相 δ/β,mm,keV</translation>
    </message>
    <message>
        <source>Phase retrieval (Paganin): delta/beta, sample-to-detector distance in mm, energy in keV; empty or 0: off. Needs the pixel size.</source>
        <translation>位相回復 (Paganin): delta/beta、試料と検出器の距離 (mm)、エネルギー (keV)。空または 0: なし。画素サイズが必要です。</translation>
    </message>
    <message>
        <source>  Binning</source>
        <translation>  ビニング</translation>
    </message>
    <message>
        <source>Sum of B x B detector pixels for the run; centre and slices stay in detector pixels</source>
        <translation>計算で検出器の B x B 画素を合計します。中心とスライスは検出器の画素のままです</translation>
    </message>
    <message>
        <source>rows of the slice range only</source>
        <translation>スライス範囲の行のみ</translation>
    </message>
    <message>
        <source>Projections loaded from now on keep only the detector lines of slices From to To (rows for a vertical axis, columns for a horizontal one), so a series larger than memory can be reconstructed in parts.</source>
        <translation>これ以降に読み込む投影像は、スライス From から To の検出器の行 (回転軸が縦なら行、横なら列) だけを保持します。メモリより大きなシリーズを部分ごとに再構成できます。</translation>
    </message>
</context>
<context>
    <name>SeekCtrl</name>
    <message>
        <source>SeekCtrl</source>
        <translation>画像送り</translation>
    </message>
</context>
<context>
    <name>SelectAFile</name>
    <message>
        <source>Frame</source>
        <translation>フレーム</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>選択</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
</context>
<context>
    <name>SelectAImgFile</name>
    <message>
        <source>Add</source>
        <translation>追加</translation>
    </message>
    <message>
        <source>Add further images of this kind; the set&apos;s mean is used</source>
        <translation>同じ種類の画像を追加します。平均が使われます</translation>
    </message>
    <message>
        <source>mean of %1</source>
        <translation>%1 枚の平均</translation>
    </message>
    <message>
        <source>Frame</source>
        <translation>フレーム</translation>
    </message>
    <message>
        <source>Exp Time</source>
        <translation>露光時間</translation>
    </message>
    <message>
        <source>0.05</source>
        <translation>0.05</translation>
    </message>
    <message>
        <source>[s]</source>
        <translation>[s]</translation>
    </message>
    <message>
        <source>Show Img</source>
        <translation>画像表示</translation>
    </message>
</context>
<context>
    <name>SelectDataDir</name>
    <message>
        <source>Frame</source>
        <translation>フレーム</translation>
    </message>
    <message>
        <source>KVT Std.</source>
        <translation>KVT Std.</translation>
    </message>
    <message>
        <source>Pattern</source>
        <translation>パターン</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>セット</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>次へ</translation>
    </message>
    <message>
        <source>Sel. Data Dir.</source>
        <translation>データフォルダ選択</translation>
    </message>
</context>
<context>
    <name>SelectDataFiles</name>
    <message>
        <source>SelectDataFiles</source>
        <translation>データファイル選択</translation>
    </message>
    <message>
        <source>Data Select</source>
        <translation>データ選択</translation>
    </message>
    <message>
        <source>New</source>
        <translation>新規</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>追加</translation>
    </message>
    <message>
        <source>keep Conds.</source>
        <translation>条件保持</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>クリア</translation>
    </message>
    <message>
        <source>Exp. Time[s]</source>
        <translation>露光時間[s]</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;When Checked : The first file in the list will be read multitimes ( ex. 180 times )&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;チェック時 : リストの最初のファイルを複数回 ( 例: 180 回 ) 読み込みます&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Multi.</source>
        <translation>複数回</translation>
    </message>
</context>
<context>
    <name>SelectDir</name>
    <message>
        <source>Frame</source>
        <translation>フレーム</translation>
    </message>
    <message>
        <source>Sel. Dir</source>
        <translation>フォルダ選択</translation>
    </message>
</context>
<context>
    <name>Sinogram</name>
    <message>
        <source>Sinogram</source>
        <translation>サイノグラム</translation>
    </message>
    <message>
        <source>Gen Image</source>
        <translation>画像生成</translation>
    </message>
    <message>
        <source>CoR</source>
        <translation>回転中心</translation>
    </message>
    <message>
        <source>1000</source>
        <translation>1000</translation>
    </message>
    <message>
        <source>Gen Fou. Sinogram</source>
        <translation>フーリエサイノグラム生成</translation>
    </message>
</context>
<context>
    <name>XafsBatch</name>
    <message>
        <source>Data Loading</source>
        <translation>データ読込中</translation>
    </message>
    <message>
        <source>Calculating</source>
        <translation>計算中</translation>
    </message>
    <message>
        <source>Finished Calc.</source>
        <translation>計算完了</translation>
    </message>
    <message>
        <source>Finished</source>
        <translation>終了</translation>
    </message>
</context>
<context>
    <name>XafsPanel</name>
    <message>
        <source>directory of slices</source>
        <translation>スライスのディレクトリ</translation>
    </message>
    <message>
        <source>Load Stack</source>
        <translation>スタック読込</translation>
    </message>
    <message>
        <source>Stack:</source>
        <translation>スタック:</translation>
    </message>
    <message>
        <source>Slice at energy</source>
        <translation>エネルギーごとのスライス</translation>
    </message>
    <message>
        <source>E0 map</source>
        <translation>E0 マップ</translation>
    </message>
    <message>
        <source>Edge jump map</source>
        <translation>エッジジャンプ マップ</translation>
    </message>
    <message>
        <source>Mask</source>
        <translation>マスク</translation>
    </message>
    <message>
        <source>Rectangle</source>
        <translation>矩形</translation>
    </message>
    <message>
        <source>Circle</source>
        <translation>円</translation>
    </message>
    <message>
        <source>Shape of a region dragged with Shift held</source>
        <translation>Shift を押しながらドラッグした領域の形</translation>
    </message>
    <message>
        <source>line</source>
        <translation>直線</translation>
    </message>
    <message>
        <source>quadratic</source>
        <translation>2次式</translation>
    </message>
    <message>
        <source>Normalised</source>
        <translation>規格化</translation>
    </message>
    <message>
        <source>Clear Regions</source>
        <translation>領域をクリア</translation>
    </message>
    <message>
        <source>Pre-edge (from E0)</source>
        <translation>プレエッジ (E0 から)</translation>
    </message>
    <message>
        <source>Post-edge</source>
        <translation>ポストエッジ</translation>
    </message>
    <message>
        <source>Post-edge fit</source>
        <translation>ポストエッジのフィット</translation>
    </message>
    <message>
        <source>Jump threshold</source>
        <translation>ジャンプしきい値</translation>
    </message>
    <message>
        <source>Energy (eV)</source>
        <translation>エネルギー (eV)</translation>
    </message>
    <message>
        <source>normalised mu</source>
        <translation>規格化 μ</translation>
    </message>
    <message>
        <source>mu (%1)</source>
        <translation>μ (%1)</translation>
    </message>
    <message>
        <source>pixel (%1, %2)</source>
        <translation>画素 (%1, %2)</translation>
    </message>
    <message>
        <source>R%1</source>
        <translation>R%1</translation>
    </message>
    <message>
        <source>%1: E0 %2 eV, jump %3 (%4 px)</source>
        <translation>%1: E0 %2 eV、ジャンプ %3 (%4 画素)</translation>
    </message>
    <message>
        <source>No energy stack: choose a directory of slices and a pattern, then Load Stack.</source>
        <translation>エネルギースタックがありません: スライスのディレクトリとパターンを選び、「スタック読込」を押してください。</translation>
    </message>
    <message>
        <source>%1 energies, %2 x %3 pixels. Click the picture for a pixel&apos;s spectrum, drag with Shift for a region.</source>
        <translation>%1 エネルギー、%2 x %3 画素。画像をクリックすると画素のスペクトル、Shift を押しながらドラッグすると領域のスペクトルを表示します。</translation>
    </message>
    <message>
        <source>Left out: %1</source>
        <translation>除外: %1</translation>
    </message>
</context>
</TS>
