// Every text the program shows or writes, in one place. Sources are UTF-8;
// the compiler turns each literal into code page 932 bytes.
#pragma once


namespace updater::texts {

// Command line and pre-flight.
inline constexpr char kCheckParameters[] = "パラメータを確認[ \"%s\" \"%s\" \"%s\" ]";
inline constexpr char kNewerVersionInstalled[] =
    "既に新しいバージョン[%s]がインストールされているため実行できません。\r";
inline constexpr char kRevisedEditionSuffix[] = " 消改版";

// Product profiles (update/product.cpp).
inline constexpr char kTorvenNotInstalled[] = "『トーヴェン財務%s』がインストールされていません。\r";
inline constexpr char kVantrixNotInstalled[] = "『VANTRiX財務%s』がインストールされていません。\r";

// Copy phase and its log.
inline constexpr char kCopyingPleaseWait[] = "%sをコピーしています。しばらくお待ちください。";
inline constexpr char kInstallSucceeded[] = "インストールは正常に終了しました。";
inline constexpr char kCopyFailed[] = "ファイルのコピーに失敗しました。";
inline constexpr char kLeftAloneLine[] = "New[%s] Org[%s] FILE[%s]";
inline constexpr char kCopyFailedLine[] = "New[%s]  FILE[%s]";

// Progress window.
inline constexpr char kProgressInitialText[] = "****をインストールしてます。しばらくお待ちください";
inline constexpr char kProgressFontFace[] = "ＭＳ Ｐゴシック";

// Message boxes.
inline constexpr char kWarningTitle[] = "警告";
inline constexpr char kErrorTitle[] = "エラー";
inline constexpr char kInformationTitle[] = "情報";
inline constexpr char kOkButton[] = "OK";

// Errors raised by the Windows layer, and the top-level error box.
inline constexpr char kRegistryWrongType[] = "'%s' のデータ型が不正です";
inline constexpr char kRegistryReadFailed[] = "'%s' の取得に失敗しました";
inline constexpr char kCannotCreateFile[] = "ファイル \"%s\". %s を作成できません";
inline constexpr char kStreamWriteError[] = "ストリームへの書き込みエラー";
inline constexpr char kCannotLoadLibrary[] = "ライブラリ \"%s\" を読み込めません。%s";
inline constexpr char kApplicationErrorTitle[] = "アプリケーション エラー";
inline constexpr char kApplicationErrorFormat[] = "%s がモジュール %s の %s で発生しました。";

}  // namespace updater::texts
