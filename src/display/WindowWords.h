// The window's fixed texts as CP932 (Shift_JIS) bytes, shared by both windows.
// Each constant carries its spelling; a test checks every one against a
// conversion of that spelling.
#pragma once

#include "jtext/JpWords.h"

#include <string_view>

namespace jp {

// 項目 -- summary list: item column
inline constexpr std::string_view kItemColumn = "\x8D\x80\x96\xDA";
// 内容 -- summary list: content column
inline constexpr std::string_view kContentColumn = "\x93\xE0\x97\x65";
// 処理 -- summary row 1: process
inline constexpr std::string_view kRowProcess = "\x8F\x88\x97\x9D";
// 件名 -- summary row 2: subject
inline constexpr std::string_view kRowSubject = "\x8C\x8F\x96\xBC";
// 処理済／総件数 -- summary row 3: processed / total count
inline constexpr std::string_view kRowProcessed = "\x8F\x88\x97\x9D\x8D\xCF\x81\x5E\x91\x8D\x8C\x8F\x90\x94";
// １回の送信単位（件） -- summary row 4: send unit
inline constexpr std::string_view kRowSendUnit = "\x82\x50\x89\xF1\x82\xCC\x91\x97\x90\x4D\x92\x50\x88\xCA\x81\x69\x8C\x8F\x81\x6A";
// 送信間隔（単位毎） -- summary row 5: send interval per unit
inline constexpr std::string_view kRowUnitWait = "\x91\x97\x90\x4D\x8A\xD4\x8A\x75\x81\x69\x92\x50\x88\xCA\x96\x88\x81\x6A";
// 送信間隔（１件毎） -- summary row 6: send interval per mail
inline constexpr std::string_view kRowMailPause = "\x91\x97\x90\x4D\x8A\xD4\x8A\x75\x81\x69\x82\x50\x8C\x8F\x96\x88\x81\x6A";
// エラー件数 -- summary row 7: error count
inline constexpr std::string_view kRowErrors = "\x83\x47\x83\x89\x81\x5B\x8C\x8F\x90\x94";
// 送信コード -- result list: send code column
inline constexpr std::string_view kSendCodeColumn = "\x91\x97\x90\x4D\x83\x52\x81\x5B\x83\x68";
// 件名 -- result list: subject column
inline constexpr std::string_view kSubjectColumn = "\x8C\x8F\x96\xBC";
// メールアドレス -- result list: mail address column
inline constexpr std::string_view kAddressColumn = "\x83\x81\x81\x5B\x83\x8B\x83\x41\x83\x68\x83\x8C\x83\x58";
// 結果番号 -- result list: result number column
inline constexpr std::string_view kStatusColumn = "\x8C\x8B\x89\xCA\x94\xD4\x8D\x86";
// 残り時間（推定） -- Label1: remaining time, estimated
inline constexpr std::string_view kRestTimeCaption = "\x8E\x63\x82\xE8\x8E\x9E\x8A\xD4\x81\x69\x90\x84\x92\xE8\x81\x6A";
// 送信中 -- LabelSend: sending
inline constexpr std::string_view kSendingMarker = "\x91\x97\x90\x4D\x92\x86";
// 終了 -- ColorButton1: end
inline constexpr std::string_view kEndButton = "\x8F\x49\x97\xB9";
// 一時停止 -- ColorButton2: pause
inline constexpr std::string_view kPauseButton = "\x88\xEA\x8E\x9E\x92\xE2\x8E\x7E";
// 再開 -- ColorButton2 while paused: resume
inline constexpr std::string_view kResumeButton = "\x8D\xC4\x8A\x4A";
// エラーメールを再送信 -- mnuReSend: resend the error mails
inline constexpr std::string_view kResendCommand = "\x83\x47\x83\x89\x81\x5B\x83\x81\x81\x5B\x83\x8B\x82\xF0\x8D\xC4\x91\x97\x90\x4D";
// 時間 -- remaining time: hours
inline constexpr std::string_view kHours = "\x8E\x9E\x8A\xD4";
// 分 -- remaining time and unit wait: minutes
inline constexpr std::string_view kMinutes = "\x95\xAA";
// 秒 -- remaining time and per-mail pause: seconds
inline constexpr std::string_view kSeconds = "\x95\x62";
// 件 -- counter word for mails
inline constexpr std::string_view kMails = "\x8C\x8F";
// 件/ -- between the processed and the total count
inline constexpr std::string_view kMailsOf = "\x8C\x8F\x2F";
// ＭＳ Ｐゴシック -- face of the window font
inline constexpr std::string_view kFontFace = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";
// … -- marks a cell whose text goes on
inline constexpr std::string_view kEllipsis = "\x81\x63";

// The seven rows of the summary list, top to bottom.
inline constexpr std::string_view kSummaryRows[] = {kRowProcess, kRowSubject, kRowProcessed, kRowSendUnit,
                                                    kRowUnitWait, kRowMailPause, kRowErrors};
// The four columns of the result list.
inline constexpr std::string_view kResultColumns[] = {kSendCodeColumn, kSubjectColumn, kAddressColumn, kStatusColumn};

// Every constant with its spelling, for the test.
inline constexpr Word kWindowWords[] = {
    {kItemColumn, "項目"},
    {kContentColumn, "内容"},
    {kRowProcess, "処理"},
    {kRowSubject, "件名"},
    {kRowProcessed, "処理済／総件数"},
    {kRowSendUnit, "１回の送信単位（件）"},
    {kRowUnitWait, "送信間隔（単位毎）"},
    {kRowMailPause, "送信間隔（１件毎）"},
    {kRowErrors, "エラー件数"},
    {kSendCodeColumn, "送信コード"},
    {kSubjectColumn, "件名"},
    {kAddressColumn, "メールアドレス"},
    {kStatusColumn, "結果番号"},
    {kRestTimeCaption, "残り時間（推定）"},
    {kSendingMarker, "送信中"},
    {kEndButton, "終了"},
    {kPauseButton, "一時停止"},
    {kResumeButton, "再開"},
    {kResendCommand, "エラーメールを再送信"},
    {kHours, "時間"},
    {kMinutes, "分"},
    {kSeconds, "秒"},
    {kMails, "件"},
    {kMailsOf, "件/"},
    {kFontFace, "ＭＳ Ｐゴシック"},
    {kEllipsis, "…"},
};

} // namespace jp
