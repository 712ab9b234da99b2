#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/editor_view.h"

namespace kelvara::layout {

// The editor's window as every face builds it: each control's place, caption, tooltip, font and
// colours, the menus, the two cell grids and what assistive technology is told of them. Pixels
// of a 96-dpi screen, relative to the control's parent; fonts in points of the Gothic face.

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct Font {
    double points = 9;
    bool bold = false;
};

enum class Kind {
    kFrame,    // a captioned frame on the dark face
    kPanel,    // a frame without caption
    kButton,   // a command button
    kOption,   // an option button of a group
    kTextBox,  // the plate number box
    kLabel,    // the plate label
    kStatus,   // the status line
    kPicture,  // the logo
};

// The system colours the window takes its look from.
inline constexpr Rgb kActiveCaption{153, 180, 209};  // the desktop's active title bar
inline constexpr Rgb kFrameGrey{64, 64, 64};
inline constexpr Rgb kHighlightedText{255, 255, 255};

struct ControlLayout {
    std::string_view name;  // the control's name; an indexed one as "OptionAc(2)"
    Kind kind;
    std::string_view parent;  // the frame it sits in; empty for the window's client area
    Rect geometry;
    std::string_view caption;
    std::string_view tooltip;
    Font font;
    std::optional<Rgb> face;          // its face or background colour; none for the standard face
    std::string_view accessibleName;  // empty: the caption says what it is
    std::string_view accessibleDescription;
};

inline constexpr Rect kClientArea{0, 0, 545, 458};
inline constexpr Rect kBackgroundPicture{0, 0, 560, 460};

// Every control but the cells, in the order they are made (the keyboard's tab order).
const std::vector<ControlLayout>& Controls();
// The control of that name; the first control when there is none.
const ControlLayout& Control(std::string_view name);

struct MenuItemLayout {
    std::string_view name;     // empty for a separator
    std::string_view caption;  // '&' marks the mnemonic
};
struct MenuLayout {
    std::string_view name;
    std::string_view caption;
    std::vector<MenuItemLayout> items;
};
// The menu bar: "ファイル(&F)", "ポートの設定(&P)" (COM1..COM9), "ヘルプ(&H)".
const std::vector<MenuLayout>& Menus();

// A grid of cell buttons: 33 x 33 pixels, 32 apart, the top-left cell at origin in its frame.
struct GridLayout {
    Grid grid;
    std::string_view frame;  // the frame it sits in
    std::string_view title;  // "本体", "条件"
    int rows = 0;
    int columns = 0;
    int x = 0;
    int y = 0;
    bool wraps = false;  // the arrow keys wrap around its edges
    int selfCell = -1;   // the cell that stands for the cell itself, if any
};
inline constexpr int kCellPitch = 32;
inline constexpr int kCellSide = 33;
inline constexpr Font kCellFont{18, true};
const GridLayout& GridOf(Grid grid);

// Where the keyboard focus goes in a grid from cell index for a key, or -1 for a key the grid
// does not use. Arrows move one cell (wrapping or stopping at the edges), Home/End go to the
// ends of the row, with Ctrl to the first and the last cell, Ctrl+arrows to the edge in that
// direction. Space and Enter click the focused cell.
enum class GridKey { kLeft, kRight, kUp, kDown, kHome, kEnd };
int CellAfterKey(const GridLayout& grid, int index, GridKey key, bool ctrl);

// The keys that click a button of the window wherever the focus is (they type nothing).
struct WindowKey {
    std::string_view key;     // as printed on keyboards: "PageUp", "PageDown", "F5"
    std::string_view button;  // the control it clicks
};
const std::vector<WindowKey>& WindowKeys();

// What assistive technology is told.
// A cell by place and value: "本体 3行5列 ON", "条件 2行2列 セル自身 任意"; caption is what the
// cell shows ("0", "1", "*", or what it showed before it was ever drawn).
std::string CellName(const GridLayout& grid, int index, std::string_view caption);
std::string CellDescription(const GridLayout& grid);
std::string GridName(const GridLayout& grid);         // "本体のセル"
std::string GridDescription(const GridLayout& grid);  // rows, columns, the cell itself, the keys
std::string GridRowName(int row);                     // "3行"
std::string GridColumnName(int column);               // "5列"
std::string PlateNumberDescription(int count);        // the plate number box, count plates in all
std::string PlateLabelName(int now, int count);       // "プレート 2 / 全2枚"
inline constexpr std::string_view kStatusDescription = "状態メッセージ";

}  // namespace kelvara::layout
