#pragma once

#include <QString>

class QWidget;

namespace kelvara {

class CellGrid;
class FormMain;

// What a screen reader is told about the window (the words are the layout's, src/editor). The
// captions stay as they are; the names, descriptions and roles below are what assistive
// technology reads instead:
// - the two cell grids are tables ("本体のセル" 8 x 8, "条件のセル" 3 x 3) whose cells are named
//   by place and value ("本体 3行5列 ON", "条件 2行2列 セル自身 任意"), following every change;
// - buttons whose captions repeat or say little are named by what they do ("本体をランダムにする",
//   "条件をランダムにする", "前のプレート", ...);
// - the status line is a notification that announces each new message (AnnounceStatus).

// Installs the accessible interfaces of the grids, their cells and the status line. Call it
// before the window creates its controls.
void InstallAccessibility();

// Keeps the plate number box's and the plate label's words in step with the document.
void DescribePlates(FormMain& window, int now, int count);

// Tells assistive technology that a notification (the status line, the plate label) shows
// something new, so a screen reader speaks it without the user moving there. The resting text
// that returns by itself is not announced.
void AnnounceStatus(QWidget* notification);

// The name a screen reader reads for a cell, from its place and its caption.
QString CellName(const CellGrid& grid, int index);

}  // namespace kelvara
