#include "app/StartWords.h"

#include "jtext/JpWords.h"
#include "platform/CodePage.h"
#include "platform/InstanceMarker.h"

#include <cstdio>

std::string UsageText()
{
    return "使い方: Tarnwick /P ジョブリスト [オプション]\n"
           "  /P ファイル   ジョブリスト（1行に1通: 定義ファイル,送信コード）\n"
           "  /f フォルダ   作業フォルダ（既定: プログラムのフォルダ\\temp）\n"
           "  /n 名前       処理名（画面の「処理」）\n"
           "  /K 件数       1回の実行で送る最大件数（0: すべて）\n"
           "  /m 件数       送信単位: 続けて送る件数\n"
           "  /t 分         送信単位の間の待ち時間（小数可）\n"
           "  /s 秒         送信単位の中で1通ごとに待つ時間（小数可）\n"
           "  /d            バッチモード（$mail.bat を通してメーラーを起動）\n"
           "  /z            差出人名をエンコードする\n"
           "  /i            ウィンドウを表示しない\n"
           "  /r            実行のあと、失敗したメールを1回だけ再送する\n"
           "                /P なし: 前回の結果ファイルの失敗したメールを再送する\n"
           "  /e            実行のあともウィンドウを開いたままにする\n"
           "  /c            終わらなかった前回の実行を続ける\n"
           "  /v            送らずにバッチを確かめ、$mail_check.csv に書く\n"
           "  --help, /?    この説明\n"
           "Usage: Tarnwick /P job-list [options]  (options are case-sensitive; see README)\n";
}

bool AsksForUsage(const std::vector<std::string>& args)
{
    for (const std::string& a : args) {
        if (a.empty())
            break; // an empty argument ends the command line
        if (a == "--help" || a == "-h" || a == "/?" || a == "/h" || a == "-?")
            return true;
    }
    return false;
}

void SayOnStandardError(const std::string& cp932Text)
{
    std::fprintf(stderr, "%s\n", platform::ToConsoleText(platform::Cp932ToUtf8(cp932Text)).c_str());
    std::fflush(stderr);
}

int EndBeforeWindow(bool guardFailed)
{
    if (!guardFailed) {
        // Another instance runs; this one ends as the single-instance rule says, but not in silence.
        SayOnStandardError(std::string(jp::kAlreadyRunning));
        return 0;
    }
    SayOnStandardError(std::string(jp::kMarkerUnusable) + platform::Utf8ToCp932(platform::MarkerFolderPath()));
    return 1;
}
