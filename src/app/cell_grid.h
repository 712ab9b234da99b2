#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>
#include <vector>

class QPushButton;

namespace kelvara {

// How the arrow keys treat the edges of a grid: the pattern wraps around as the machine sees
// it (the cell left of column 1 is column 8 of the same row); the condition's 3 x 3
// neighbourhood has real edges, so the focus stops there.
enum class GridEdges { Wrap, Stop };

// The cell a key moves the focus to from cell index of a rows x columns grid, or -1 for a key
// the grid does not use. Arrows move one cell (wrapping or stopping at the edges), Home/End go
// to the ends of the row, Ctrl+Home/Ctrl+End to the first and the last cell, Ctrl+arrows to the
// edge in that direction.
int CellAfterKey(int index, int rows, int columns, GridEdges edges, int key,
                 Qt::KeyboardModifiers modifiers);

// A grid of cell buttons, 33 x 33 pixels each, 32 pixels apart (their edges overlap by one),
// laid over its frame at the frame's origin so every cell keeps its place in the frame. For
// the keyboard it is one tab stop: only the current cell takes the focus from Tab; the arrow
// keys move the focus within the grid, and Space or Enter click the focused cell as the mouse
// does. A mouse click never moves the focus, as before.
class CellGrid final : public QWidget {
    Q_OBJECT

  public:
    struct Shape {
        QString title;  // the frame's caption: "本体", "条件"
        int rows = 0;
        int columns = 0;
        QPoint origin;  // the top-left cell in the frame
        GridEdges edges = GridEdges::Stop;
        int selfCell = -1;  // the cell that stands for the cell itself, if any
    };

    CellGrid(QWidget* frame, Shape shape);

    const Shape& shape() const { return shape_; }
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
    Shape shape_;
    std::vector<QPushButton*> cells_;
    int current_ = 0;
};

}  // namespace kelvara
