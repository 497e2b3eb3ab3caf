<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>QUAMBERPlayerについて</source>
        <translation>About QUAMBERPlayer</translation>
    </message>
    <message>
        <source>バージョン X.X.X.X</source>
        <translation>Version X.X.X.X</translation>
    </message>
    <message>
        <source>作成者: LOMBIX</source>
        <translation>Author: LOMBIX</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>バージョン %1</source>
        <translation>Version %1</translation>
    </message>
</context>
<context>
    <name>CBottomMainDlg</name>
    <message>
        <source>ハード名</source>
        <translation>Device name</translation>
    </message>
    <message>
        <source>再生</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>一時停止</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>動画を開く</source>
        <translation>Open video</translation>
    </message>
    <message>
        <source>DVDを開く</source>
        <translation>Open DVD</translation>
    </message>
    <message>
        <source>プレイファイルを開く</source>
        <translation>Open play file</translation>
    </message>
    <message>
        <source>消音</source>
        <translation>Mute</translation>
    </message>
    <message>
        <source>リピート</source>
        <translation>Repeat</translation>
    </message>
    <message>
        <source>全画面</source>
        <translation>Full screen</translation>
    </message>
    <message>
        <source>早戻し</source>
        <translation>Rewind</translation>
    </message>
    <message>
        <source>早送り</source>
        <translation>Fast forward</translation>
    </message>
</context>
<context>
    <name>CDriveSelectDlg</name>
    <message>
        <source>DVDドライブ選択</source>
        <translation>Select DVD Drive</translation>
    </message>
    <message>
        <source>フォルダ/イメージを開く...</source>
        <translation>Open Folder/Image...</translation>
    </message>
    <message>
        <source>フォルダ...</source>
        <translation>Folder...</translation>
    </message>
    <message>
        <source>イメージ (.iso)...</source>
        <translation>Image (.iso)...</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>フォルダ/イメージを開く</source>
        <translation>Open Folder/Image</translation>
    </message>
    <message>
        <source>DVDイメージ (*.iso)</source>
        <translation>DVD images (*.iso)</translation>
    </message>
    <message>
        <source>すべてのファイル (*)</source>
        <translation>All files (*)</translation>
    </message>
</context>
<context>
    <name>CKestruneDlg</name>
    <message>
        <source>%1(メディアを開いています...)</source>
        <translation>%1 (opening media...)</translation>
    </message>
</context>
<context>
    <name>CTopMainDlg</name>
    <message>
        <source>タイトル</source>
        <translation>Title</translation>
    </message>
</context>
<context>
    <name>MainMenus</name>
    <message>
        <source>DVDメニュー</source>
        <translation>DVD Menu</translation>
    </message>
    <message>
        <source>タイトル</source>
        <translation>Title</translation>
    </message>
    <message>
        <source>チャプター</source>
        <translation>Chapter</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>QUAMBERPlayerについて(&amp;A)</source>
        <translation>&amp;About QUAMBERPlayer</translation>
    </message>
    <message>
        <source>ディスクメニュー</source>
        <translation>Disc Menu</translation>
    </message>
    <message>
        <source>プレイファイル(&amp;P)</source>
        <translation>&amp;Play File</translation>
    </message>
    <message>
        <source>映像から作成(&amp;D)...</source>
        <translation>&amp;Draft from the Picture...</translation>
    </message>
    <message>
        <source>記録の開始・終了(&amp;R)</source>
        <translation>Start or End &amp;Recording</translation>
    </message>
</context>
<context>
    <name>MainWindowInput</name>
    <message>
        <source>オフセット %1 ms</source>
        <translation>Offset %1 ms</translation>
    </message>
</context>
<context>
    <name>MessageBoxes</name>
    <message>
        <source>ディレクトリ操作エラー</source>
        <translation>Folder Error</translation>
    </message>
    <message>
        <source>ファイル操作エラー</source>
        <translation>File Error</translation>
    </message>
    <message>
        <source>AppDataのパスの取得に失敗しました。</source>
        <translation>Could not find the folder for application data.</translation>
    </message>
    <message>
        <source>ログフォルダ(AppData/QUAMBERPlayer)の作成に失敗しました。</source>
        <translation>Could not create the log folder (AppData/QUAMBERPlayer).</translation>
    </message>
    <message>
        <source>ログフォルダ(AppData/QUAMBERPlayer/log)の作成に失敗しました。</source>
        <translation>Could not create the log folder (AppData/QUAMBERPlayer/log).</translation>
    </message>
    <message>
        <source>ログファイルのオープンに失敗しました。</source>
        <translation>Could not open the log file.</translation>
    </message>
    <message>
        <source>ログファイルの書き込みに失敗しました。</source>
        <translation>Could not write to the log file.</translation>
    </message>
    <message>
        <source>デバイスを所有するグループ</source>
        <translation>the group that owns the device</translation>
    </message>
    <message>
        <source>グループ「%1」</source>
        <translation>the group &quot;%1&quot;</translation>
    </message>
    <message>
        <source>USBドングル（%1）を開く権限がありません。
%2にユーザーを追加してから、ログインし直して下さい。</source>
        <translation>You are not allowed to open the USB dongle (%1).
Add your user to %2, then log in again.</translation>
    </message>
    <message>
        <source>再生エンジンを起動できません。VLCのインストールを確認して下さい。</source>
        <translation>The playback engine cannot start. Please check that VLC is installed.</translation>
    </message>
    <message>
        <source>起動エラー</source>
        <translation>Start-up Error</translation>
    </message>
    <message>
        <source>USBドングルエラー</source>
        <translation>USB Dongle Error</translation>
    </message>
    <message>
        <source>ドロップされたファイルは開けません。動画ファイル、プレイファイル（.csv/.txt）、DVDフォルダまたはISOイメージをドロップして下さい。</source>
        <translation>The dropped files cannot be opened. Please drop a video file, a play file (.csv/.txt), a DVD folder or an ISO image.</translation>
    </message>
    <message>
        <source>ファイルのドロップ</source>
        <translation>Dropped Files</translation>
    </message>
    <message>
        <source>エラー</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>タイトルメニューが多すぎるためメニューに設定できません。</source>
        <translation>There are too many titles to list in the menu.</translation>
    </message>
    <message>
        <source>チャプターメニューが多すぎるためメニューに設定できません。</source>
        <translation>There are too many chapters to list in the menu.</translation>
    </message>
    <message>
        <source>メディアが再生できません。メディアを確認して下さい。</source>
        <translation>The media cannot be played. Please check the media.</translation>
    </message>
    <message>
        <source>再生エラー</source>
        <translation>Playback Error</translation>
    </message>
    <message>
        <source>エラーが発生しました。</source>
        <translation>An error occurred.</translation>
    </message>
    <message>
        <source>プレイファイル作成</source>
        <translation>Make a Play File</translation>
    </message>
    <message>
        <source>動画ファイルを開いてから、映像からプレイファイルを作成して下さい。DVDからは作成できません。</source>
        <translation>Open a video file first, then make its play file from the picture. Play files cannot be made from DVDs.</translation>
    </message>
    <message>
        <source>映像からプレイファイルを作成できませんでした。</source>
        <translation>The play file could not be made from the picture.</translation>
    </message>
    <message>
        <source>プレイファイルは動画ファイルの再生中に記録できます。</source>
        <translation>A play file can be recorded while a video file plays.</translation>
    </message>
    <message>
        <source>プレイファイル記録</source>
        <translation>Record a Play File</translation>
    </message>
    <message>
        <source>記録したプレイファイルを保存できませんでした。</source>
        <translation>The recorded play file could not be saved.</translation>
    </message>
</context>
<context>
    <name>OpenDialogs</name>
    <message>
        <source>動画を開く</source>
        <translation>Open Video</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>プレイファイル (*.csv *.txt)</source>
        <translation>Play files (*.csv *.txt)</translation>
    </message>
    <message>
        <source>すべてのファイル (*)</source>
        <translation>All files (*)</translation>
    </message>
</context>
<context>
    <name>PictureDraft</name>
    <message>
        <source>映像からプレイファイルを作成しています...</source>
        <translation>Making the play file from the picture...</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>プレイファイル作成</source>
        <translation>Make a Play File</translation>
    </message>
</context>
</TS>
