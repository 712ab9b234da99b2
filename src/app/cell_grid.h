#pragma once

#include <QWidget>
#include <vector>

#include "editor/window_layout.h"

class QPushButton;

namespace kelvara {

// The cell a Qt key moves the focus to from cell index of the grid (layout::CellAfterKey), or
// -1 for a key the grid does not use.
int CellAfterKey(const layout::GridLayout& grid, int index, int key,
                 Qt::KeyboardModifiers modifiers);

// A grid of cell buttons, 33 x 33 pixels each, 32 pixels apart (their edges overlap by one),
// laid over its frame at the frame's origin so every cell keeps its place in the frame. For
// the keyboard it is one tab stop: only the current cell takes the focus from Tab; the arrow
// keys move the focus within the grid, and Space or Enter click the focused cell as the mouse
// does. A mouse click never moves the focus, as before.
class CellGrid final : public QWidget {
    Q_OBJECT

  public:
    CellGrid(QWidget* frame, const layout::GridLayout& shape);

    const layout::GridLayout& shape() const { return shape_; }
    int count() const { return static_cast<int>(cells_.size()); }
    QPushButton* cell(int index) const { return cells_[static_cast<size_t>(index)]; }
    // The index of a cell button of this grid, or -1.
    int indexOf(const QObject* object) const;
    // The cell that takes the focus when the user tabs into the grid.
    int current() const { return current_; }
    // Makes index the current cell, and gives it the focus if the grid had it.
    void setCurrent(int index);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    const layout::GridLayout& shape_;
    std::vector<QPushButton*> cells_;
    int current_ = 0;
};

}  // namespace kelvara
