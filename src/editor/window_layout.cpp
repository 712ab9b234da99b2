#include "editor/window_layout.h"

namespace kelvara::layout {

namespace {

constexpr Rgb kCommandGrey{128, 128, 128};
constexpr Font kPlain{9, false};
constexpr Font kBold9{9, true};
constexpr Font kNavigation{14.25, true};

std::vector<ControlLayout> MakeControls() {
    return {
        {"OptionMode(0)",
         Kind::kOption,
         "",
         {24, 16, 89, 17},
         "通常モード",
         "",
         kPlain,
         Rgb{192, 255, 192},
         "",
         "モード"},
        {"OptionMode(1)",
         Kind::kOption,
         "",
         {128, 16, 129, 17},
         "ライフゲームモード",
         "",
         kPlain,
         Rgb{255, 128, 128},
         "",
         "モード"},
        {"Image1",
         Kind::kPicture,
         "",
         {424, 0, 120, 40},
         "",
         "",
         kPlain,
         std::nullopt,
         "Kelvara のロゴ",
         ""},
        // The pattern.
        {"Frame2",
         Kind::kFrame,
         "",
         {16, 56, 289, 329},
         "本体",
         "初期パターンを作ってください",
         kPlain,
         kFrameGrey,
         "",
         ""},
        {"CommandMaRnd",
         Kind::kButton,
         "Frame2",
         {16, 288, 57, 33},
         "ランダム",
         "",
         kPlain,
         std::nullopt,
         "本体をランダムにする",
         ""},
        {"CommandMa0",
         Kind::kButton,
         "Frame2",
         {72, 288, 81, 33},
         "すべてOFF(0)",
         "",
         kPlain,
         std::nullopt,
         "本体をすべてOFF(0)にする",
         ""},
        {"CommandMa1",
         Kind::kButton,
         "Frame2",
         {152, 288, 73, 33},
         "すべてON(1)",
         "",
         kPlain,
         std::nullopt,
         "本体をすべてON(1)にする",
         ""},
        {"CommandMaRe",
         Kind::kButton,
         "Frame2",
         {224, 288, 57, 33},
         "反転",
         "",
         kPlain,
         std::nullopt,
         "本体を反転する",
         ""},
        // Plate navigation.
        {"FrameDataControl",
         Kind::kPanel,
         "",
         {312, 56, 217, 25},
         "",
         "",
         kPlain,
         kActiveCaption,
         "",
         ""},
        {"CommandPrevious",
         Kind::kButton,
         "FrameDataControl",
         {0, 0, 33, 25},
         "←",
         "前のプレート（PageUp）",
         kNavigation,
         std::nullopt,
         "前のプレート",
         "PageUpキーでも移動できます。"},
        {"TextPlateNum",
         Kind::kTextBox,
         "FrameDataControl",
         {32, 0, 49, 25},
         "1",
         "現在のプレート",
         Font{14.25, false},
         std::nullopt,
         "プレート番号",
         ""},
        {"CommandNext",
         Kind::kButton,
         "FrameDataControl",
         {80, 0, 33, 25},
         "→",
         "次のプレート。最後のプレートでは1枚追加します（PageDown）",
         kNavigation,
         std::nullopt,
         "次のプレート",
         "最後のプレートでは1枚追加します。PageDownキーでも移動できます。"},
        {"LabelPlate",
         Kind::kLabel,
         "FrameDataControl",
         {112, 0, 57, 25},
         "1/50",
         "条件プレート数",
         kNavigation,
         Rgb{224, 224, 224},
         "",
         ""},
        {"CommandDel",
         Kind::kButton,
         "FrameDataControl",
         {168, 0, 49, 25},
         "削除",
         "現在の条件を削除します。",
         kPlain,
         std::nullopt,
         "現在のプレートを削除",
         ""},
        // The condition of the current plate.
        {"Frame1(0)",
         Kind::kFrame,
         "",
         {312, 80, 217, 161},
         "条件",
         "条件を作ってください。",
         kPlain,
         kFrameGrey,
         "",
         ""},
        {"CommandIfB(0)",
         Kind::kButton,
         "Frame1(0)",
         {120, 24, 89, 25},
         "ランダム",
         "",
         kPlain,
         std::nullopt,
         "条件をランダムにする",
         ""},
        {"CommandIfB(1)",
         Kind::kButton,
         "Frame1(0)",
         {120, 56, 89, 25},
         "すべてOFF(0)",
         "",
         kPlain,
         std::nullopt,
         "条件をすべてOFF(0)にする",
         ""},
        {"CommandIfB(2)",
         Kind::kButton,
         "Frame1(0)",
         {120, 88, 89, 25},
         "すべてON(１)",
         "",
         kPlain,
         std::nullopt,
         "条件をすべてON(1)にする",
         ""},
        {"CommandIfB(3)",
         Kind::kButton,
         "Frame1(0)",
         {120, 120, 89, 25},
         "すべて任意(＊)",
         "",
         kPlain,
         std::nullopt,
         "条件をすべて任意にする",
         ""},
        // The change method.
        {"Frame1(1)",
         Kind::kFrame,
         "",
         {312, 248, 113, 113},
         "変化",
         "変化させる方法を選んでください",
         kPlain,
         kFrameGrey,
         "",
         ""},
        {"OptionAc(1)",
         Kind::kOption,
         "Frame1(1)",
         {16, 16, 73, 17},
         "ON(1)",
         "",
         kPlain,
         std::nullopt,
         "",
         ""},
        {"OptionAc(0)",
         Kind::kOption,
         "Frame1(1)",
         {16, 40, 73, 17},
         "OFF(0)",
         "",
         kPlain,
         std::nullopt,
         "",
         ""},
        {"OptionAc(2)",
         Kind::kOption,
         "Frame1(1)",
         {16, 64, 73, 17},
         "反転",
         "",
         kPlain,
         std::nullopt,
         "",
         ""},
        {"OptionAc(3)",
         Kind::kOption,
         "Frame1(1)",
         {16, 88, 73, 17},
         "ランダム",
         "",
         kPlain,
         std::nullopt,
         "",
         ""},
        // Trial run, transfers, status line and exit.
        {"CommandSe",
         Kind::kButton,
         "",
         {432, 264, 97, 41},
         "試しに動かす",
         "ソフト上でシュミレーションします。",
         kBold9,
         kCommandGrey,
         "",
         "ソフト上でシュミレーションします。F5キーでも動かせます。"},
        {"CommandRe",
         Kind::kButton,
         "",
         {432, 312, 97, 33},
         "元に戻す",
         "試しに動かしたものを元に戻します。",
         kPlain,
         kCommandGrey,
         "",
         ""},
        {"CommandSendData",
         Kind::kButton,
         "",
         {320, 368, 97, 33},
         "データ転送",
         "Kelvaraにデータを転送します。",
         kBold9,
         std::nullopt,
         "",
         ""},
        {"CommandRead",
         Kind::kButton,
         "",
         {432, 368, 97, 33},
         "データ読み込み",
         "Kelvaraからデータを取り込みます。",
         kBold9,
         std::nullopt,
         "",
         ""},
        {"LabelMes",
         Kind::kStatus,
         "",
         {16, 408, 369, 41},
         "",
         "",
         Font{15.75, false},
         Rgb{0, 0, 0},
         "",
         kStatusDescription},
        {"CommandClose",
         Kind::kButton,
         "",
         {416, 416, 113, 33},
         "終了",
         "",
         Font{15.75, true},
         kCommandGrey,
         "",
         ""},
    };
}

std::vector<MenuLayout> MakeMenus() {
    std::vector<MenuItemLayout> ports;
    static const char* const kPorts[] = {"COM1", "COM2", "COM3", "COM4", "COM5",
                                         "COM6", "COM7", "COM8", "COM9"};
    static const char* const kPortNames[] = {"menucom(0)", "menucom(1)", "menucom(2)",
                                             "menucom(3)", "menucom(4)", "menucom(5)",
                                             "menucom(6)", "menucom(7)", "menucom(8)"};
    for (int i = 0; i < 9; ++i) ports.push_back({kPortNames[i], kPorts[i]});
    return {
        {"MenuFile",
         "ファイル(&F)",
         {{"MenuNew", "新規作成"},
          {"MenuOpen", "開く(&O)"},
          {"", ""},
          {"MenuOverSave", "上書き保存(&S)"},
          {"MenuNewSave", "名前を付けて保存(&N)"},
          {"", ""},
          {"MenuEnd", "終了(&X)"}}},
        {"MenuComPort", "ポートの設定(&P)", ports},
        {"MenuHelp", "ヘルプ(&H)", {{"MenuHelpUse", "使い方"}}},
    };
}

constexpr GridLayout kPatternGrid{Grid::kPattern, "Frame2", "本体", 8, 8, 16, 24, true, -1};
// The centre of the neighbourhood (position 4) is the cell itself.
constexpr GridLayout kConditionGrid{Grid::kCondition, "Frame1(0)", "条件", 3, 3, 16, 40, false, 4};

// One step along an axis of length size: wraps, or stays at the edge.
int Step(int at, int delta, int size, bool wraps) {
    const int next = at + delta;
    if (next >= 0 && next < size) return next;
    return wraps ? (next + size) % size : at;
}

// What a cell's caption means, in the words the window's buttons use.
std::string_view ValueWord(std::string_view caption) {
    if (caption == "0") return "OFF";
    if (caption == "1") return "ON";
    if (caption == "*") return "任意";
    return caption;
}

}  // namespace

const std::vector<ControlLayout>& Controls() {
    static const std::vector<ControlLayout> controls = MakeControls();
    return controls;
}

const ControlLayout& Control(std::string_view name) {
    for (const ControlLayout& control : Controls()) {
        if (control.name == name) return control;
    }
    return Controls().front();
}

const std::vector<MenuLayout>& Menus() {
    static const std::vector<MenuLayout> menus = MakeMenus();
    return menus;
}

const GridLayout& GridOf(Grid grid) {
    return grid == Grid::kPattern ? kPatternGrid : kConditionGrid;
}

int CellAfterKey(const GridLayout& grid, int index, GridKey key, bool ctrl) {
    if (index < 0 || index >= grid.rows * grid.columns) return -1;
    int row = index / grid.columns;
    int column = index % grid.columns;
    switch (key) {
        case GridKey::kLeft:
            column = ctrl ? 0 : Step(column, -1, grid.columns, grid.wraps);
            break;
        case GridKey::kRight:
            column = ctrl ? grid.columns - 1 : Step(column, 1, grid.columns, grid.wraps);
            break;
        case GridKey::kUp:
            row = ctrl ? 0 : Step(row, -1, grid.rows, grid.wraps);
            break;
        case GridKey::kDown:
            row = ctrl ? grid.rows - 1 : Step(row, 1, grid.rows, grid.wraps);
            break;
        case GridKey::kHome:
            column = 0;
            if (ctrl) row = 0;
            break;
        case GridKey::kEnd:
            column = grid.columns - 1;
            if (ctrl) row = grid.rows - 1;
            break;
    }
    return row * grid.columns + column;
}

const std::vector<WindowKey>& WindowKeys() {
    static const std::vector<WindowKey> keys = {
        {"PageUp", "CommandPrevious"}, {"PageDown", "CommandNext"}, {"F5", "CommandSe"}};
    return keys;
}

std::string CellName(const GridLayout& grid, int index, std::string_view caption) {
    std::string name = std::string(grid.title) + " " + std::to_string(index / grid.columns + 1) +
                       "行" + std::to_string(index % grid.columns + 1) + "列";
    if (index == grid.selfCell) name += " セル自身";
    return name + " " + std::string(ValueWord(caption));
}

std::string CellDescription(const GridLayout& grid) {
    return grid.selfCell >= 0 ? "スペースキーかEnterキーでOFF、ON、任意の順に切り替えます。"
                              : "スペースキーかEnterキーでONとOFFを切り替えます。";
}

std::string GridName(const GridLayout& grid) { return std::string(grid.title) + "のセル"; }

std::string GridDescription(const GridLayout& grid) {
    std::string text = std::to_string(grid.rows) + "行" + std::to_string(grid.columns) + "列。";
    if (grid.selfCell >= 0) {
        text += std::to_string(grid.selfCell / grid.columns + 1) + "行" +
                std::to_string(grid.selfCell % grid.columns + 1) + "列がセル自身です。";
    }
    text += grid.wraps ? "矢印キーで移動します（端から反対の端へつながります）。"
                       : "矢印キーで移動します。";
    return text;
}

std::string GridRowName(int row) { return std::to_string(row + 1) + "行"; }
std::string GridColumnName(int column) { return std::to_string(column + 1) + "列"; }

std::string PlateNumberDescription(int count) {
    return "現在のプレート（全" + std::to_string(count) +
           "枚）。PageUpとPageDownでも移動できます。";
}

std::string PlateLabelName(int now, int count) {
    return "プレート " + std::to_string(now) + " / 全" + std::to_string(count) + "枚";
}

}  // namespace kelvara::layout
