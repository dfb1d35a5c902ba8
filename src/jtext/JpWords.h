// Japanese texts that the program writes into files or hands to the window,
// as CP932 (Shift_JIS) bytes. Each constant carries its spelling; a test checks
// every one against a conversion of that spelling.
#pragma once

#include <string_view>

namespace jp {

// 送信完了 -- status word of a sent mail; also the run-state text of a completed run
inline constexpr std::string_view kSent = "\x91\x97\x90\x4D\x8A\xAE\x97\xB9";
// 送信異常 -- status word of a failed mail
inline constexpr std::string_view kSendFailure = "\x91\x97\x90\x4D\x88\xD9\x8F\xED";
// （再送分） -- follows the status word during a resend
inline constexpr std::string_view kResendSuffix = "\x81\x69\x8D\xC4\x91\x97\x95\xAA\x81\x6A";
// 送信開始 -- run-state text: sending started
inline constexpr std::string_view kSendingStarted = "\x91\x97\x90\x4D\x8A\x4A\x8E\x6E";
// 送信中: -- run-state text before each mail
inline constexpr std::string_view kSendingPrefix = "\x91\x97\x90\x4D\x92\x86\x3A";
// 送信待機 -- run-state text during a unit wait
inline constexpr std::string_view kWaitingToSend = "\x91\x97\x90\x4D\x91\xD2\x8B\x40";
// 強制終了 -- run-state text of a stopped run
inline constexpr std::string_view kForcedEnd = "\x8B\xAD\x90\xA7\x8F\x49\x97\xB9";
// 警告 -- caption of the write-failure box
inline constexpr std::string_view kWarningCaption = "\x8C\x78\x8D\x90";
// OSに不具合が発生しました。送信を中止します -- write-failure box, first line
inline constexpr std::string_view kWriteFailureLine1 = "\x4F\x53\x82\xC9\x95\x73\x8B\xEF\x8D\x87\x82\xAA\x94\xAD\x90\xB6\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x81\x42\x91\x97\x90\x4D\x82\xF0\x92\x86\x8E\x7E\x82\xB5\x82\xDC\x82\xB7";
// PCを再起動してください -- write-failure box, second line
inline constexpr std::string_view kWriteFailureLine2 = "\x50\x43\x82\xF0\x8D\xC4\x8B\x4E\x93\xAE\x82\xB5\x82\xC4\x82\xAD\x82\xBE\x82\xB3\x82\xA2";
// ' は浮動小数点数ではありません -- conversion error: "'" + value + this
inline constexpr std::string_view kNotAFloatSuffix = "\x27\x20\x82\xCD\x95\x82\x93\xAE\x8F\xAC\x90\x94\x93\x5F\x90\x94\x82\xC5\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
//  に書き込めません -- settings write error: path + this
inline constexpr std::string_view kCannotWriteSuffix = "\x20\x82\xC9\x8F\x91\x82\xAB\x8D\x9E\x82\xDF\x82\xDC\x82\xB9\x82\xF1";
// リストのインデックスが範囲を超えています ( -- list index error: this + index + ")"
inline constexpr std::string_view kListIndexPrefix = "\x83\x8A\x83\x58\x83\x67\x82\xCC\x83\x43\x83\x93\x83\x66\x83\x62\x83\x4E\x83\x58\x82\xAA\x94\xCD\x88\xCD\x82\xF0\x92\xB4\x82\xA6\x82\xC4\x82\xA2\x82\xDC\x82\xB7\x20\x28";
// エラーしているメールはありません. -- resend: nothing to resend
inline constexpr std::string_view kNoErrorMails = "\x83\x47\x83\x89\x81\x5B\x82\xB5\x82\xC4\x82\xA2\x82\xE9\x83\x81\x81\x5B\x83\x8B\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x2E";
// エラーメールを再送しますか？ -- resend: confirmation
inline constexpr std::string_view kAskResend = "\x83\x47\x83\x89\x81\x5B\x83\x81\x81\x5B\x83\x8B\x82\xF0\x8D\xC4\x91\x97\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81\x48";
// すでに起動されています -- single-instance guard's error message
inline constexpr std::string_view kAlreadyRunning = "\x82\xB7\x82\xC5\x82\xC9\x8B\x4E\x93\xAE\x82\xB3\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB7";
// 送信不明 -- status word of a mail whose mailer was started by a process that died before its outcome was recorded
inline constexpr std::string_view kOutcomeUnknown = "\x91\x97\x90\x4D\x95\x73\x96\xBE";
// 前回の送信とジョブリストが異なるため継続できません:  -- /c with another job list than the unfinished run: this + path
inline constexpr std::string_view kOtherJobList = "\x91\x4F\x89\xF1\x82\xCC\x91\x97\x90\x4D\x82\xC6\x83\x57\x83\x87\x83\x75\x83\x8A\x83\x58\x83\x67\x82\xAA\x88\xD9\x82\xC8\x82\xE9\x82\xBD\x82\xDF\x8C\x70\x91\xB1\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x3A\x20";
// 定義ファイルが見つからないため再送できません:  -- resend: a failed row whose job line names no definition: this + line
inline constexpr std::string_view kNotResent = "\x92\xE8\x8B\x60\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE7\x82\xC8\x82\xA2\x82\xBD\x82\xDF\x8D\xC4\x91\x97\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x3A\x20";
// 再送できるメールはありません. -- resend: no failed row names an existing definition
inline constexpr std::string_view kNothingResent = "\x8D\xC4\x91\x97\x82\xC5\x82\xAB\x82\xE9\x83\x81\x81\x5B\x83\x8B\x82\xCD\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x2E";

// Every constant with its spelling, for the test.
struct Word { std::string_view bytes; const char* utf8; };
inline constexpr Word kAllWords[] = {
    {kSent, "送信完了"},
    {kSendFailure, "送信異常"},
    {kResendSuffix, "（再送分）"},
    {kSendingStarted, "送信開始"},
    {kSendingPrefix, "送信中:"},
    {kWaitingToSend, "送信待機"},
    {kForcedEnd, "強制終了"},
    {kWarningCaption, "警告"},
    {kWriteFailureLine1, "OSに不具合が発生しました。送信を中止します"},
    {kWriteFailureLine2, "PCを再起動してください"},
    {kNotAFloatSuffix, "' は浮動小数点数ではありません"},
    {kCannotWriteSuffix, " に書き込めません"},
    {kListIndexPrefix, "リストのインデックスが範囲を超えています ("},
    {kNoErrorMails, "エラーしているメールはありません."},
    {kAskResend, "エラーメールを再送しますか？"},
    {kAlreadyRunning, "すでに起動されています"},
    {kOutcomeUnknown, "送信不明"},
    {kOtherJobList, "前回の送信とジョブリストが異なるため継続できません: "},
    {kNotResent, "定義ファイルが見つからないため再送できません: "},
    {kNothingResent, "再送できるメールはありません."},
};

} // namespace jp
