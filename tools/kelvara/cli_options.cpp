#include "cli_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <set>
#include <string_view>

namespace kelvara::cli {

namespace {

constexpr char kOverview[] = R"(使い方: kelvara コマンド [オプション]

Kelvara マシンのデータファイル (.dat) をマシンに送る、マシンから読み出す、ソフトウェアで
動かす、調べる。エディタと同じ転送の手順とファイルの形式を使います。

コマンド:
  send FILE.dat [--port P]... [--keep-going] [--lenient]
                                    ファイルの内容をマシンに書き込む
  read [-o FILE.dat] [--port P]...  マシンの内容を読み出してデータファイルにする
  run FILE.dat [--steps N] [--seed S] [--every] [--lenient]
                                    「試しに動かす」を N 回行い、パターンを表示する
  check FILE.dat                    エディタが断るもの、送れない値を調べる
  ports                             COM1〜COM9 がいまどのデバイスかを表示する
  ports --probe [--port P]...       どのポートでマシンが応答するか、何を持っているかを調べる

  kelvara コマンド --help           コマンドごとの説明（kelvara help コマンド でも同じ）
  kelvara --version                 版を表示する

--port P は COM1〜COM9 か、デバイスのパス（/dev/ttyUSB0 など）です。COM n はエディタの
ポートメニューと同じく、環境変数 KELVARA_COMn があればそのデバイス、なければ接続されている
ポート（USB シリアルアダプタが先）の n 番目です。省略すると COM1。send と read では何度でも
指定でき、ポートごとの転送が同時に進みます。同じデバイスに当たる二つの指定（リンクとその先、
COM1 と KELVARA_COM1 のパスなど）は、何も送らずに使い方の誤りとして断ります。

終了コード:
  0    完了
  1    マシンが応答しない、ポートを開けない、回線が切れた
  2    使い方の誤り、ファイルが断られた（開けない、送れない値がある、保存できない）、
       標準出力に書き込めない
  3    仕事は終わった（送ったものはマシンに届いた、保存したものはある）が、結果を標準エラー
       に書き込めなかった
  130  Ctrl+C（SIGINT）で止めた（SIGTERM なら 143、SIGHUP なら 129）。ポートを閉じ、一時
       ファイルを消してから、そのシグナルで終わります。シェルのループもそこで止まります。
読み取る側が終わったパイプへの出力は書き込みの失敗として扱い、転送は最後まで続けます。
)";

constexpr char kSendHelp[] =
    R"(使い方: kelvara send FILE.dat [--port P]... [--keep-going] [--lenient]

FILE.dat をエディタの「開く」と同じように読み、マシンに送ります。ゲームモードがライフゲーム
モード (1) のファイルはライフゲームモードとパターンを、それ以外はパターンとプレートを書き込み
ます。手順、待ち時間、エラーの扱いはエディタの「データ転送」と同じです。

  --port P      送り先: COM1〜COM9 かデバイスのパス（省略時 COM1）。繰り返すと同じファイルを
                それぞれのポートへ同時に送ります。
  --keep-going  確認 (*) の返らない単位があっても、エディタと同じく次の単位を送り続ける
  --lenient     読めない値や足りない値のあるファイルも、エディタの「開く」と同じに読んで送る
                （その値は新しい文書のまま。何があったかは標準エラーに書きます）
  --help        この説明

進み具合は標準エラーに出ます。端末ならポートごとのバーをその場で書き換え、そうでなければ
段階ごとに 1 行です:
  COM1: 書き込みデータ送信中
ポートごとに、転送が終わりしだい結果を 1 行、標準エラーに書きます。「完了」と書くのはこの
結果の行だけです。数字は確認 (*) の返った
単位の数と全体の数です:
  COM1 (/dev/ttyUSB0): データ書き込み完了 159/159
  COM2 (/dev/ttyUSB1): 通信エラーもう一度やってください。（13 番目の単位に確認がありません: 確認 12/159）
  /dev/ttyS3: ポートオープンエラー発生
    （理由の行が続きます）
止めたときは（中断: 確認 12/159）、回線が切れたときは（回線が切れました: 確認 12/159）です。
標準出力には何も書きません。

単位ごとの確認は約 3 秒待ちます。返らなかったら、そのポートの転送はそこで終わります（それ
以上は送りません）。--keep-going のときはエディタと同じく次の単位へ進むので、応答しない
マシンへの書き込みは終わるまで数分かかります（ほかのポートの結果はそれを待たずに出ます）。
Ctrl+C、SIGTERM、SIGHUP で止められます。失敗した転送に「完了」とは書きません。

ファイルが開けないか断られたとき、読めない値や足りない値があるとき（--lenient なしで）、
送れない値があるときは、何も送らずに理由を書いて終了コード 2 で終わります（kelvara check と
同じ内容）。

終了コード: 0 すべてのポートで全部の単位が確認された、1 マシンが応答しない・ポートを開けない・
回線が切れた、2 使い方の誤り・ファイルが断られた（何も送っていません）、3 送り終えたが結果を
標準エラーに書き込めなかった、130 Ctrl+C で止めた（SIGTERM 143、SIGHUP 129）。ポートが
複数のときはいちばん悪い結果のコードです。
)";

constexpr char kReadHelp[] = R"(使い方: kelvara read [-o FILE.dat] [--port P]...

マシンが持っている内容を読み出し（エディタの「データ読み込み」と同じ）、データファイルに
します。形式と保存のしかたはエディタの「名前を付けて保存」と同じです: 名前は指定のとおり、
一時ファイルに書いてから置き換えるので、失敗しても元のファイルは残ります。持ち主、許可、
拡張属性（ACL）もそのままです。ただし、ほかの名前（ハードリンク）のあるファイル、ほかの
ユーザーのファイル、書き込めないフォルダにあるファイルは、置き換えずにその場で書き換えます:
失敗したときは元の内容を書き戻しますが、書いている途中でコンピュータが止まると、新旧の
内容が混ざることがあります。/dev/stdout、/dev/fd/N、デバイス、FIFO には、その名前のまま
書き込みます（シェルが >> で開いていれば追記になります）。

  -o, --output FILE   保存先。省略すると、データファイルの中身そのもの（CR LF の行）を標準
                      出力に書きます。ポートが複数のときは必須で、名前に {port} を含めます。
                      {port} はポートごとに COM1 やデバイスの名前（/dev/ttyUSB0 なら ttyUSB0、
                      Windows の \\.\COM12 なら COM12）になります。Windows では装置の名前に
                      なる名前（COM1〜COM9 そのもの）は COM3_ のように「_」が付きます。
                      名前には「.dat」が要ります（send と check が断らないように。
                      /dev/stdout などは別）。フォルダがない、書き込めない、Windows で装置の
                      名前（COM3.dat、NUL、CON.dat など）であるなど、保存できないことが
                      わかっているときは、マシンを読む前に終了コード 2 で終わります。
  --port P            読み出すポート: COM1〜COM9 かデバイスのパス（省略時 COM1）。繰り返すと
                      同時に読み出します。
  --help              この説明

応答がない、件数や長さがおかしいなど、エディタが受け付けない読み出しでは何も書きません
（既存のファイルもそのままです）。保存に失敗したときは、その理由（フォルダがない、書き込みが
許可されていない、読み取り専用、フォルダである、ディスクがいっぱいなど）を添えます。

進み具合は send と同じく標準エラーに、結果もポートごとに終わりしだい 1 行ずつ標準エラーに
出ます。数字は受け取った文字の数です:
  COM1 (/dev/ttyUSB0): データ読み出し完了 320 文字 → class-COM1.dat
  COM2 (/dev/ttyUSB1): 通信エラーもう一度やってください。（応答がありません: 受信 0 文字）
標準出力に書き込めなかったときは「完了」ではなく、その理由を書きます。

終了コード: 0 すべてのポートで保存（または出力）した、1 マシンが応答しない・ポートを開けない・
回線が切れた、2 使い方の誤り・保存できない・標準出力に書き込めない、3 保存したが結果を標準
エラーに書き込めなかった、130 Ctrl+C で止めた（SIGTERM 143、SIGHUP 129。保存の途中なら
保存を終えてから）。ポートが複数のときはいちばん悪い結果のコードです。
)";

constexpr char kRunHelp[] =
    R"(使い方: kelvara run FILE.dat [--steps N] [--seed S] [--every] [--lenient]

FILE.dat を「開く」と同じように読み、エディタの「試しに動かす」を N 回行って、最後の
8 × 8 パターンを標準出力に書きます。1 回は、通常モード (0) ではすべてのプレートを順に 1 度
当てること、ライフゲームモード (1) ではライフゲームの 1 世代です。ゲームモードがそれ以外の
値のファイルでは、エディタと同じく何も変わりません。

  --steps N   回数（0〜1000000、省略時 1）
  --seed S    変化方法「ランダム」の乱数の種（0〜18446744073709551615）。同じ種なら同じ結果
              になります。省略すると時刻から決まります。
  --every     最初のパターンと毎回の結果（N + 1 個）を、空行で区切って書く
  --lenient   読めない値や足りない値のあるファイルも、エディタの「開く」と同じに読んで動かす
  --help      この説明

出力はセル・オートマトンのツールで広く使われるプレーンテキストの形式です: 上の行から 8 行、
各行は左から 8 文字、「.」が OFF、「O」が ON、行末は LF。0 と 1 以外の値のセル（手で書き
換えたファイル）は「?」です。グライダーの例:
  .O......
  ..O.....
  OOO.....
  ........
  ........
  ........
  ........
  ........

パターンはできたものから順に書くので、--steps が大きくてもメモリは増えません。

ファイルが開けないか断られたとき、読めない値や足りない値があるとき（--lenient なしで）は、
kelvara check と同じ内容を標準エラーに書いて終了コード 2 で終わります。

終了コード: 0 完了、2 使い方の誤り・ファイルが断られた・標準出力に書き込めない。
)";

constexpr char kCheckHelp[] = R"(使い方: kelvara check FILE.dat

FILE.dat を「開く」と同じように読み、エディタが断るもの（名前に「.dat」がない、開けない、
大きすぎる、プレート数が 1〜50 の外）、読めない値と足りない値、マシンに送れない値（線上の
文字がない値）を、すべて標準出力に書きます。

読めない値と足りない値は、エディタの「開く」なら黙って前の値のままにするものです: 数でない
値（「x」「5O」、空の値）、途中で終わったファイル、値の数が合わない行（1 行目は 3 個、
パターンは 16 個、条件は 9 個、変化方法は 1 個。一つ足りないと後の値がずれて読まれます）、
最後の値の後に残る値。行、その行の何個目か、見つかった文字、入るはずだった値を添えます。
空行、行末の種類（CR LF、LF、CR）、先頭の BOM、全部を 1 行に書いたファイルは問題に
しません。送れない値は、send がそのファイルで行う転送について調べます: ライフゲームモードの
ファイルではパターンだけ、それ以外ではパターンとプレート。

出力の例:
  FILE.dat: 問題ありません（通常モード、プレート 50 枚）

  FILE.dat: プレート7に送信できない値があります。ファイルを確認してください。
    プレート 7 の条件セル 5（2 行目 3 列目）: 値 7（0〜2 のみ）
    プレート 9 の変化方法: 値 4（0〜3 のみ）

  FILE.dat: 不明なファイルです。
    プレート数 60 が 1〜50 の範囲外です

  FILE.dat: 読めない値や足りない値があります（エディタの「開く」は、その値を前のままにします）
    1 行目 3 個目（プレート数）: 「5O」は -32768〜32767 の整数ではありません
    12 行目でファイルが終わっています: プレート 3 の変化方法 から後の 1 個の値がありません
字下げしていない行がエディタの示すメッセージ、字下げした行が一つずつの問題です。「注意:」で
始まる行は送れるが気をつけたいこと（ゲームモードが 0 でも 1 でもない）で、結果は変えません。
ポート番号が 1〜9 の外のファイルは、エディタのポートの設定（COM1〜COM9）にない所へ送ることに
なるので問題とします。UTF-16 のテキストや、テキストでないファイルは、値ごとではなくそのことを
1 行で書きます。

終了コード: 0 問題なし、2 断られる・読めない値や足りない値がある・送れない値がある（または
使い方の誤り、標準出力に書き込めない）。
)";

constexpr char kPortsHelp[] = R"(使い方: kelvara ports [--probe [--port P]...]

COM1〜COM9 がいまどのデバイスに当たるかを、エディタのポートメニューと同じ決め方で 1 行ずつ
標準出力に書きます（kelvara-editor --list-ports と同じ表）:
  COM1  /dev/ttyUSB0  CP2102 USB to UART Bridge Controller (10c4:ea60)
  COM2  -
  COM3  /tmp/kelvara-com3  KELVARA_COM3（見つかりません）
デバイスのない番号は「-」です。環境変数 KELVARA_COMn（例: KELVARA_COM1=/dev/ttyUSB0）が
あれば COM n はそのデバイスになり、表にその名前が出ます。その名前の先に何もなければ
「（見つかりません）」が付きます。

  --probe    デバイスのある COM 番号（--port があればそのポート）ごとに、エディタの「データ
             読み込み」と同じ読み出しの要求を送り、マシンが応答したかと、持っている内容を
             COM 番号の順に 1 行ずつ標準出力に書きます。マシンの内容もファイルも何も変え
             ません。応答を約 3 秒待ち、ポートは同時に調べます。同じデバイスに当たる COM
             番号は一度だけ調べます。
               COM1 (/dev/ttyUSB0): 応答あり（通常モード、プレート 12 枚）
               COM2 (/dev/ttyS0): 応答なし
  --port P   --probe で調べるポート（繰り返せます）
  --help     この説明

終了コード: 0（--probe では、調べたどのポートでもマシンが応答した）、1 --probe で応答の
ないポートがあった、2 使い方の誤り・標準出力に書き込めない。
)";

struct NamedCommand {
    std::string_view name;
    Command command;
};
constexpr NamedCommand kCommands[] = {{"send", Command::kSend},
                                      {"read", Command::kRead},
                                      {"run", Command::kRun},
                                      {"check", Command::kCheck},
                                      {"ports", Command::kPorts}};

enum class Takes { kFlag, kValue };
struct OptionInfo {
    std::string_view longName;
    std::string_view shortName;
    Takes takes;
    std::array<Command, 3> commands;  // the commands that take it
    bool Options::*flag = nullptr;    // what a flag sets
};
const OptionInfo kOptionTable[] = {
    {"--port", "", Takes::kValue, {Command::kSend, Command::kRead, Command::kPorts}},
    {"--output", "-o", Takes::kValue, {Command::kRead, Command::kNone}},
    {"--steps", "", Takes::kValue, {Command::kRun, Command::kNone}},
    {"--seed", "", Takes::kValue, {Command::kRun, Command::kNone}},
    {"--every", "", Takes::kFlag, {Command::kRun, Command::kNone}, &Options::every},
    {"--keep-going", "", Takes::kFlag, {Command::kSend, Command::kNone}, &Options::keepGoing},
    {"--probe", "", Takes::kFlag, {Command::kPorts, Command::kNone}, &Options::probe},
    {"--lenient", "", Takes::kFlag, {Command::kSend, Command::kRun}, &Options::lenient},
};

bool WantsFile(Command command) {
    return command == Command::kSend || command == Command::kRun || command == Command::kCheck;
}

template <typename Number>
bool ParseWhole(std::string_view text, Number& value) {
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    return status == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Takes one option's value into options; false with *error set when it cannot be used.
bool TakeValue(std::string_view name, const std::string& value, Options& options,
               std::string* error) {
    if (name == "--port") {
        std::optional<PortChoice> port = ParsePortChoice(value, error);
        if (!port) return false;
        if (std::find(options.ports.begin(), options.ports.end(), *port) != options.ports.end()) {
            *error = "ポート " + port->name + " が二度指定されています";
            return false;
        }
        options.ports.push_back(std::move(*port));
        return true;
    }
    if (name == "--output") {
        if (options.output) {
            *error = "-o は一度だけ指定できます";
            return false;
        }
        if (value.empty()) {
            *error = "-o に空の名前は指定できません";
            return false;
        }
        options.output = value;
        return true;
    }
    if (name == "--steps") {
        long steps = 0;
        if (!ParseWhole(value, steps) || steps < 0 || steps > kMaxSteps) {
            *error = "--steps には 0〜" + std::to_string(kMaxSteps) +
                     " の整数を指定してください: " + value;
            return false;
        }
        options.steps = steps;
        return true;
    }
    // --seed
    std::uint64_t seed = 0;
    if (!ParseWhole(value, seed)) {
        *error = "--seed には 0〜18446744073709551615 の整数を指定してください: " + value;
        return false;
    }
    options.seed = seed;
    return true;
}

// The checks that need the whole command line.
bool CheckTogether(const std::vector<std::string>& positional, Options& options,
                   std::string* error) {
    if (WantsFile(options.command)) {
        if (positional.empty()) {
            *error = "データファイル (FILE.dat) を指定してください";
            return false;
        }
        options.file = positional.front();
    }
    const std::size_t allowed = WantsFile(options.command) ? 1 : 0;
    if (positional.size() > allowed) {
        *error = "余分な引数があります: " + positional[allowed];
        return false;
    }
    if (options.command == Command::kPorts && !options.probe && !options.ports.empty()) {
        *error = "ports で --port を使うのは --probe のときだけです";
        return false;
    }
    const bool transfers = options.command == Command::kSend || options.command == Command::kRead;
    if (transfers && options.ports.empty()) {
        options.ports.push_back(PortChoice{"COM1", 1, {}});
    }
    if (options.command == Command::kRead && options.ports.size() > 1) {
        if (!options.output || options.output->find(kPortPlaceholder) == std::string::npos) {
            *error = "ポートが複数のときは -o で保存先を指定し、名前に {port} を含めてください";
            return false;
        }
        std::set<std::string> names;
        for (const PortChoice& port : options.ports) {
            const std::string name = ExpandPortName(*options.output, port);
            if (!names.insert(name).second) {
                *error = "保存先 " + name + " が二つのポートで同じになります";
                return false;
            }
        }
    }
    return true;
}

}  // namespace

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error) {
    Options options;
    if (args.size() < 2) {
        *error = "コマンドを指定してください";
        return std::nullopt;
    }
    const std::string& first = args[1];
    if (first == "--help" || first == "-h") {
        options.help = true;
        return options;
    }
    // "kelvara help" and "kelvara help COMMAND": the overview or the command's help.
    if (first == "help" && args.size() <= 3) {
        options.help = true;
        options.command = args.size() == 3 ? CommandNamed(args[2]) : Command::kNone;
        if (args.size() == 3 && options.command == Command::kNone) {
            *error = "不明なコマンドです: " + args[2];
            return std::nullopt;
        }
        return options;
    }
    if (first == "--version") {
        options.version = true;
        return options;
    }
    options.command = CommandNamed(first);
    if (options.command == Command::kNone) {
        *error =
            (first.starts_with('-') ? "不明なオプションです: " : "不明なコマンドです: ") + first;
        return std::nullopt;
    }
    // --help anywhere among the options shows the command's help, whatever else is there.
    for (std::size_t i = 2; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            options.help = true;
            return options;
        }
    }

    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        if (const std::size_t equals = arg.find('=');
            arg.starts_with("--") && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        const auto info = std::find_if(
            std::begin(kOptionTable), std::end(kOptionTable),
            [&](const OptionInfo& o) { return name == o.longName || name == o.shortName; });
        if (info == std::end(kOptionTable)) {
            *error = "不明なオプションです: " + name;
            return std::nullopt;
        }
        if (std::find(info->commands.begin(), info->commands.end(), options.command) ==
            info->commands.end()) {
            *error = std::string(info->longName) + " は kelvara " + CommandName(options.command) +
                     " では使えません";
            return std::nullopt;
        }
        if (info->takes == Takes::kFlag) {
            if (value) {
                *error = std::string(info->longName) + " は値をとりません";
                return std::nullopt;
            }
            options.*(info->flag) = true;
            continue;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                *error = name + " の値がありません";
                return std::nullopt;
            }
            value = args[++i];
        }
        if (!TakeValue(info->longName, *value, options, error)) return std::nullopt;
    }
    if (!CheckTogether(positional, options, error)) return std::nullopt;
    return options;
}

const char* HelpText(Command command) {
    switch (command) {
        case Command::kSend:
            return kSendHelp;
        case Command::kRead:
            return kReadHelp;
        case Command::kRun:
            return kRunHelp;
        case Command::kCheck:
            return kCheckHelp;
        case Command::kPorts:
            return kPortsHelp;
        case Command::kNone:
            break;
    }
    return kOverview;
}

std::string HelpHint(Command command) {
    const std::string name = CommandName(command);
    return "詳しくは kelvara " + (name.empty() ? std::string() : name + " ") +
           "--help を見てください。";
}

const char* CommandName(Command command) {
    for (const NamedCommand& entry : kCommands) {
        if (entry.command == command) return entry.name.data();
    }
    return "";
}

}  // namespace kelvara::cli

namespace kelvara::cli {

Command CommandNamed(std::string_view name) {
    for (const NamedCommand& entry : kCommands) {
        if (name == entry.name) return entry.command;
    }
    return Command::kNone;
}

}  // namespace kelvara::cli
