#include "app/window_access.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/cell_grid.h"
#include "app/formmain.h"
#include "app/status_label.h"

namespace kelvara {

namespace {

CellGrid* GridOf(const QObject* cell) {
    return cell != nullptr ? qobject_cast<CellGrid*>(cell->parent()) : nullptr;
}

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A cell button: a table cell named by place and value, pressed as the mouse clicks it.
class CellAccessible final : public QAccessibleWidget, public QAccessibleTableCellInterface {
  public:
    explicit CellAccessible(QPushButton* cell) : QAccessibleWidget(cell, QAccessible::Cell) {}

    QString text(QAccessible::Text t) const override {
        const CellGrid* grid = GridOf(object());
        if (grid == nullptr) return QAccessibleWidget::text(t);
        if (t == QAccessible::Name) return CellName(*grid, grid->indexOf(object()));
        if (t == QAccessible::Description) return Text(layout::CellDescription(grid->shape()));
        return QAccessibleWidget::text(t);
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableCellInterface) {
            return static_cast<QAccessibleTableCellInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == pressAction()) {
            static_cast<QPushButton*>(widget())->click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }
    QStringList keyBindingsForAction(const QString& action) const override {
        if (action == pressAction()) return {QStringLiteral("Space"), QStringLiteral("Return")};
        return QAccessibleWidget::keyBindingsForAction(action);
    }

    bool isSelected() const override { return false; }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return Place() % Columns(); }
    int rowIndex() const override { return Place() / Columns(); }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override {
        return QAccessible::queryAccessibleInterface(GridOf(object()));
    }

  private:
    int Place() const {
        const CellGrid* grid = GridOf(object());
        return grid != nullptr ? std::max(0, grid->indexOf(object())) : 0;
    }
    int Columns() const {
        const CellGrid* grid = GridOf(object());
        return grid != nullptr ? grid->shape().columns : 1;
    }
};

// A cell grid: a table of rows x columns cells, nothing selectable.
class GridAccessible final : public QAccessibleWidget, public QAccessibleTableInterface {
  public:
    explicit GridAccessible(CellGrid* grid) : QAccessibleWidget(grid, QAccessible::Table) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return Text(layout::GridName(Grid()->shape()));
        if (t == QAccessible::Description) return Text(layout::GridDescription(Grid()->shape()));
        return QAccessibleWidget::text(t);
    }

    // The cells only, row by row: the frame's corner around them is not the table's.
    QRect rect() const override {
        const QPushButton* first = Grid()->cell(0);
        const QPushButton* last = Grid()->cell(Grid()->count() - 1);
        return {first->mapToGlobal(QPoint(0, 0)),
                last->mapToGlobal(QPoint(last->width() - 1, last->height() - 1))};
    }
    int childCount() const override { return Grid()->count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= Grid()->count()) return nullptr;
        return QAccessible::queryAccessibleInterface(Grid()->cell(index));
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr ? Grid()->indexOf(child->object()) : -1;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override {
        const layout::GridSpec& shape = Grid()->shape();
        if (row < 0 || row >= shape.rows || column < 0 || column >= shape.columns) return nullptr;
        return child(row * shape.columns + column);
    }
    int selectedCellCount() const override { return 0; }
    QList<QAccessibleInterface*> selectedCells() const override { return {}; }
    QString columnDescription(int column) const override {
        return Text(layout::GridColumnName(column));
    }
    QString rowDescription(int row) const override { return Text(layout::GridRowName(row)); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    int columnCount() const override { return Grid()->shape().columns; }
    int rowCount() const override { return Grid()->shape().rows; }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override {}

  private:
    CellGrid* Grid() const { return static_cast<CellGrid*>(object()); }
};

// The status line: a notification whose name is the message it shows. Screen readers speak a
// notification when it is shown, which AnnounceStatus reports for each new message.
class StatusAccessible final : public QAccessibleWidget {
  public:
    explicit StatusAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::Notification) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return static_cast<QLabel*>(widget())->text();
        if (t == QAccessible::Description) {
            return QString::fromUtf8(layout::kStatusDescription.data(),
                                     static_cast<qsizetype>(layout::kStatusDescription.size()));
        }
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* Factory(const QString& key, QObject* object) {
    if (key == QLatin1String(CellGrid::staticMetaObject.className())) {
        return new GridAccessible(static_cast<CellGrid*>(object));
    }
    if (key == QLatin1String(StatusLabel::staticMetaObject.className())) {
        return new StatusAccessible(static_cast<StatusLabel*>(object));
    }
    if (key == QLatin1String("QPushButton") && GridOf(object) != nullptr) {
        return new CellAccessible(static_cast<QPushButton*>(object));
    }
    return nullptr;
}

}  // namespace

QString CellName(const CellGrid& grid, int index) {
    return Text(layout::CellName(grid.shape(), index, grid.cell(index)->text().toStdString()));
}

void InstallAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

void DescribePlates(FormMain& w, int now, int count) {
    w.TextPlateNum->setAccessibleDescription(Text(layout::PlateNumberDescription(count)));
    w.LabelPlate->setAccessibleName(Text(layout::PlateLabelName(now, count)));
}

void AnnounceStatus(QWidget* statusLine) {
    // On the Linux accessibility bus a notification is spoken when it is shown; platforms that
    // know alerts take the alert.
    QAccessibleEvent shown(statusLine, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
    QAccessibleEvent alert(statusLine, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

}  // namespace kelvara
