#pragma once

#include <string>

#include "machine/machine_protocol.h"

namespace kelvara::web {

// The texts only the web app shows, once: its port menu, the machine drawn in the page, what a
// browser cannot do, the page's own buttons. Every text of the editor itself is the core's.

inline constexpr char kSimulatorItem[] = "シミュレーター（このページの Kelvara）";
inline constexpr char kSerialItem[] = "シリアルポート";
inline constexpr char kChoosePortItem[] = "別のシリアルポートを選ぶ…";
inline constexpr char kForgetPortItem[] = "このシリアルポートを忘れる";
inline constexpr char kSerialPortDescription[] = "USB シリアルポート";

inline constexpr char kMachineTitle[] = "シミュレーター";
inline constexpr char kMachineIdle[] = "データを待っています";

inline constexpr char kOkButton[] = "OK";
inline constexpr char kCancelButton[] = "キャンセル";
inline constexpr char kExamplesHeading[] = "見本のファイル";
inline constexpr char kChooseFileButton[] = "このコンピューターのファイルを選ぶ…";
inline constexpr char kSaveNameLabel[] = "ファイル名:";
inline constexpr char kSaveButton[] = "保存";
inline constexpr char kExitedText[] =
    "KelvaraEditor を終了しました。このタブは閉じてかまいません。";
inline constexpr char kReopenButton[] = "もう一度開く";

// Why a serial port cannot be reached from this browser, for the port-open box.
inline constexpr char kNoWebSerialText[] =
    "このブラウザーはシリアルポートを使えません。Kelvara につなぐには、パソコンか Chromebook の "
    "Chrome または Edge（バージョン 89 以降）でこのページを開いてください。シミュレーターは"
    "このブラウザーでも使えます（ポートの設定）。";
inline constexpr char kNotSecureText[] =
    "このページは安全な接続（https）で開かれていないため、ブラウザーがシリアルポートを使わせ"
    "ません。https:// のアドレスで開いてください（このコンピューターの中なら "
    "http://127.0.0.1 でも使えます）。";

// Why the browser did not open the port, from the name and words of the error it raised.
std::string PortOpenFailureText(const std::string& errorName, const std::string& errorMessage);

// What the machine in the page holds, and what it last did, for its panel.
std::string MachineHolds(const Document& held);
std::string MachineEventText(const machine::Event& event);

}  // namespace kelvara::web
