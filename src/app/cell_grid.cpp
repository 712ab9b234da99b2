#include "app/cell_grid.h"

#include <QKeyEvent>
#include <QPushButton>

#include "app/appearance.h"

namespace kelvara {

int CellAfterKey(const layout::GridLayout& grid, int index, int key,
                 Qt::KeyboardModifiers modifiers) {
    using layout::GridKey;
    GridKey move;
    switch (key) {
        case Qt::Key_Left:
            move = GridKey::kLeft;
            break;
        case Qt::Key_Right:
            move = GridKey::kRight;
            break;
        case Qt::Key_Up:
            move = GridKey::kUp;
            break;
        case Qt::Key_Down:
            move = GridKey::kDown;
            break;
        case Qt::Key_Home:
            move = GridKey::kHome;
            break;
        case Qt::Key_End:
            move = GridKey::kEnd;
            break;
        default:
            return -1;
    }
    return layout::CellAfterKey(grid, index, move, modifiers.testFlag(Qt::ControlModifier));
}

CellGrid::CellGrid(QWidget* frame, const layout::GridLayout& shape)
    : QWidget(frame), shape_(shape) {
    using layout::kCellPitch;
    // Transparent and placed at the frame's origin: the cells keep the frame's coordinates,
    // the frame's face and tooltip show through around them.
    setGeometry(0, 0, shape_.x + shape_.columns * kCellPitch + 1,
                shape_.y + shape_.rows * kCellPitch + 1);
    cells_.reserve(static_cast<size_t>(shape_.rows * shape_.columns));
    for (int i = 0; i < shape_.rows * shape_.columns; ++i) {
        auto* cell = new QPushButton(QStringLiteral("*"), this);
        cell->setGeometry(shape_.x + kCellPitch * (i % shape_.columns),
                          shape_.y + kCellPitch * (i / shape_.columns), layout::kCellSide,
                          layout::kCellSide);
        cell->setFont(Gothic(layout::kCellFont.points, layout::kCellFont.bold));
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
        const int target = CellAfterKey(shape_, index, key->key(), key->modifiers());
        if (target >= 0) {
            setCurrent(target);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kelvara
