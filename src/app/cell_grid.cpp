#include "app/cell_grid.h"

#include <QKeyEvent>
#include <QPushButton>
#include <utility>

namespace kelvara {

namespace {
constexpr int kPitch = 32;  // cells are 33 pixels wide, 32 apart
constexpr int kSide = 33;

// One step along an axis of length size: wraps, or stays at the edge.
int Step(int at, int delta, int size, GridEdges edges) {
    const int next = at + delta;
    if (next >= 0 && next < size) return next;
    return edges == GridEdges::Wrap ? (next + size) % size : at;
}
}  // namespace

int CellAfterKey(int index, int rows, int columns, GridEdges edges, int key,
                 Qt::KeyboardModifiers modifiers) {
    if (index < 0 || index >= rows * columns) return -1;
    int row = index / columns;
    int column = index % columns;
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    switch (key) {
        case Qt::Key_Left:
            column = ctrl ? 0 : Step(column, -1, columns, edges);
            break;
        case Qt::Key_Right:
            column = ctrl ? columns - 1 : Step(column, 1, columns, edges);
            break;
        case Qt::Key_Up:
            row = ctrl ? 0 : Step(row, -1, rows, edges);
            break;
        case Qt::Key_Down:
            row = ctrl ? rows - 1 : Step(row, 1, rows, edges);
            break;
        case Qt::Key_Home:
            column = 0;
            if (ctrl) row = 0;
            break;
        case Qt::Key_End:
            column = columns - 1;
            if (ctrl) row = rows - 1;
            break;
        default:
            return -1;
    }
    return row * columns + column;
}

CellGrid::CellGrid(QWidget* frame, Shape shape) : QWidget(frame), shape_(std::move(shape)) {
    // Transparent and placed at the frame's origin: the cells keep the frame's coordinates,
    // the frame's face and tooltip show through around them.
    setGeometry(0, 0, shape_.origin.x() + shape_.columns * kPitch + 1,
                shape_.origin.y() + shape_.rows * kPitch + 1);
    cells_.reserve(static_cast<size_t>(shape_.rows * shape_.columns));
    for (int i = 0; i < shape_.rows * shape_.columns; ++i) {
        auto* cell = new QPushButton(QStringLiteral("*"), this);
        cell->setGeometry(shape_.origin.x() + kPitch * (i % shape_.columns),
                          shape_.origin.y() + kPitch * (i / shape_.columns), kSide, kSide);
        cell->setFocusPolicy(i == current_ ? Qt::TabFocus : Qt::NoFocus);
        cell->installEventFilter(this);
        cells_.push_back(cell);
    }
}

int CellGrid::indexOf(const QObject* object) const {
    for (size_t i = 0; i < cells_.size(); ++i) {
        if (cells_[i] == object) return static_cast<int>(i);
    }
    return -1;
}

void CellGrid::setCurrent(int index) {
    if (index < 0 || index >= count() || index == current_) return;
    QPushButton* previous = cell(current_);
    QPushButton* next = cell(index);
    const bool focused = previous->hasFocus();
    current_ = index;
    next->setFocusPolicy(Qt::TabFocus);
    if (focused) next->setFocus(Qt::OtherFocusReason);
    previous->setFocusPolicy(Qt::NoFocus);
}

bool CellGrid::eventFilter(QObject* watched, QEvent* event) {
    const int index = indexOf(watched);
    if (index < 0) return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) {
        setCurrent(index);
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // As Space does: one click a press, none for the key's auto-repeat.
            if (!key->isAutoRepeat()) cell(index)->click();
            return true;
        }
        const int target = CellAfterKey(index, shape_.rows, shape_.columns, shape_.edges,
                                        key->key(), key->modifiers());
        if (target >= 0) {
            setCurrent(target);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kelvara
