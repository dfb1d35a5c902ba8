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
// エラー -- severity of a finding that makes a run fail or skip mails
inline constexpr std::string_view kCheckError = "\x83\x47\x83\x89\x81\x5B";
// 警告 -- severity of a finding the run goes past
inline constexpr std::string_view kCheckWarning = "\x8C\x78\x8D\x90";
// 行を飛ばします: 定義ファイルがありません -- check: a line without a definition file
inline constexpr std::string_view kCheckSkipped = "\x8D\x73\x82\xF0\x94\xF2\x82\xCE\x82\xB5\x82\xDC\x82\xB7\x3A\x20\x92\xE8\x8B\x60\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// 定義ファイルが短すぎるか読めません -- check: a definition too short or unreadable
inline constexpr std::string_view kCheckTooShort = "\x92\xE8\x8B\x60\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x92\x5A\x82\xB7\x82\xAC\x82\xE9\x82\xA9\x93\xC7\x82\xDF\x82\xDC\x82\xB9\x82\xF1";
// 宛先（TO）がありません -- check: no TO recipient
inline constexpr std::string_view kCheckNoTo = "\x88\xB6\x90\xE6\x81\x69\x54\x4F\x81\x6A\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1";
// ファイルがありません（送信時は黙って無視されます）:  -- check: a CC, BCC, list or attachment file missing: this + path
inline constexpr std::string_view kCheckFileMissing = "\x83\x74\x83\x40\x83\x43\x83\x8B\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81\x69\x91\x97\x90\x4D\x8E\x9E\x82\xCD\x96\xD9\x82\xC1\x82\xC4\x96\xB3\x8E\x8B\x82\xB3\x82\xEA\x82\xDC\x82\xB7\x81\x6A\x3A\x20";
// メールアドレスとして使えない宛先です:  -- check: a recipient entry no address can be: this + entry
inline constexpr std::string_view kCheckBadAddress = "\x83\x81\x81\x5B\x83\x8B\x83\x41\x83\x68\x83\x8C\x83\x58\x82\xC6\x82\xB5\x82\xC4\x8E\x67\x82\xA6\x82\xC8\x82\xA2\x88\xB6\x90\xE6\x82\xC5\x82\xB7\x3A\x20";
// メーラーに書いたとおりに渡せません:  -- check: a mail the run refuses to hand to the mailer: this + the reason
inline constexpr std::string_view kCheckRefused = "\x83\x81\x81\x5B\x83\x89\x81\x5B\x82\xC9\x8F\x91\x82\xA2\x82\xBD\x82\xC6\x82\xA8\x82\xE8\x82\xC9\x93\x6E\x82\xB9\x82\xDC\x82\xB9\x82\xF1\x3A\x20";
// ISO-2022-JPで送れない文字があります:  -- check: characters ISO-2022-JP cannot carry: this + field name + ": " + characters
inline constexpr std::string_view kCheckStrangers = "\x49\x53\x4F\x2D\x32\x30\x32\x32\x2D\x4A\x50\x82\xC5\x91\x97\x82\xEA\x82\xC8\x82\xA2\x95\xB6\x8E\x9A\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB7\x3A\x20";
// 同じ宛先に同じ件名を重ねて送ります（最初は -- check: the same subject to one recipient again: this + line + kCheckDuplicateTail + address
inline constexpr std::string_view kCheckDuplicate = "\x93\xAF\x82\xB6\x88\xB6\x90\xE6\x82\xC9\x93\xAF\x82\xB6\x8C\x8F\x96\xBC\x82\xF0\x8F\x64\x82\xCB\x82\xC4\x91\x97\x82\xE8\x82\xDC\x82\xB7\x81\x69\x8D\xC5\x8F\x89\x82\xCD";
// 行目）:  -- check: the end of the duplicate text before the address
inline constexpr std::string_view kCheckDuplicateTail = "\x8D\x73\x96\xDA\x81\x6A\x3A\x20";
// 送信結果ログのフォルダがありません:  -- check: the outcome log folder is missing: this + path
inline constexpr std::string_view kCheckNoLogFolder = "\x91\x97\x90\x4D\x8C\x8B\x89\xCA\x83\x8D\x83\x4F\x82\xCC\x83\x74\x83\x48\x83\x8B\x83\x5F\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x3A\x20";
// メール毎のフォルダがありません:  -- check: the per-mail folder is missing: this + path
inline constexpr std::string_view kCheckNoMailFolder = "\x83\x81\x81\x5B\x83\x8B\x96\x88\x82\xCC\x83\x74\x83\x48\x83\x8B\x83\x5F\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x3A\x20";
// コマンドラインが長すぎます:  -- check: a command line the system cannot start: this + bytes + " bytes"
inline constexpr std::string_view kCheckTooLong = "\x83\x52\x83\x7D\x83\x93\x83\x68\x83\x89\x83\x43\x83\x93\x82\xAA\x92\xB7\x82\xB7\x82\xAC\x82\xDC\x82\xB7\x3A\x20";
// 件名 -- field name: subject
inline constexpr std::string_view kFieldSubject = "\x8C\x8F\x96\xBC";
// 差出人 -- field name: sender
inline constexpr std::string_view kFieldSender = "\x8D\xB7\x8F\x6F\x90\x6C";
// 本文 -- field name: body
inline constexpr std::string_view kFieldBody = "\x96\x7B\x95\xB6";
// チェック: %d件 エラー %d件 警告 %d件 / 送信単位 %d回 単位待機 %d回 送信間隔 %d回 (待ち %.0f秒) / 推定 %.0f秒 (1件 %.0f秒として) -- check: the summary, a printf format (mails, errors, warnings, units, unit waits, pauses, seconds of waiting, estimate, seconds per mail)
inline constexpr std::string_view kCheckSummary = "\x83\x60\x83\x46\x83\x62\x83\x4E\x3A\x20\x25\x64\x8C\x8F\x20\x83\x47\x83\x89\x81\x5B\x20\x25\x64\x8C\x8F\x20\x8C\x78\x8D\x90\x20\x25\x64\x8C\x8F\x20\x2F\x20\x91\x97\x90\x4D\x92\x50\x88\xCA\x20\x25\x64\x89\xF1\x20\x92\x50\x88\xCA\x91\xD2\x8B\x40\x20\x25\x64\x89\xF1\x20\x91\x97\x90\x4D\x8A\xD4\x8A\x75\x20\x25\x64\x89\xF1\x20\x28\x91\xD2\x82\xBF\x20\x25\x2E\x30\x66\x95\x62\x29\x20\x2F\x20\x90\x84\x92\xE8\x20\x25\x2E\x30\x66\x95\x62\x20\x28\x31\x8C\x8F\x20\x25\x2E\x30\x66\x95\x62\x82\xC6\x82\xB5\x82\xC4\x29";

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
    {kCheckError, "エラー"},
    {kCheckWarning, "警告"},
    {kCheckSkipped, "行を飛ばします: 定義ファイルがありません"},
    {kCheckTooShort, "定義ファイルが短すぎるか読めません"},
    {kCheckNoTo, "宛先（TO）がありません"},
    {kCheckFileMissing, "ファイルがありません（送信時は黙って無視されます）: "},
    {kCheckBadAddress, "メールアドレスとして使えない宛先です: "},
    {kCheckRefused, "メーラーに書いたとおりに渡せません: "},
    {kCheckStrangers, "ISO-2022-JPで送れない文字があります: "},
    {kCheckDuplicate, "同じ宛先に同じ件名を重ねて送ります（最初は"},
    {kCheckDuplicateTail, "行目）: "},
    {kCheckNoLogFolder, "送信結果ログのフォルダがありません: "},
    {kCheckNoMailFolder, "メール毎のフォルダがありません: "},
    {kCheckTooLong, "コマンドラインが長すぎます: "},
    {kFieldSubject, "件名"},
    {kFieldSender, "差出人"},
    {kFieldBody, "本文"},
    {kCheckSummary, "チェック: %d件 エラー %d件 警告 %d件 / 送信単位 %d回 単位待機 %d回 送信間隔 %d回 (待ち %.0f秒) / 推定 %.0f秒 (1件 %.0f秒として)"},
};

} // namespace jp
