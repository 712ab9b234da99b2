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

// What a cell's caption means, in the words the window's buttons use.
QString ValueWord(const QString& caption) {
    if (caption == QLatin1String("0")) return QStringLiteral("OFF");
    if (caption == QLatin1String("1")) return QStringLiteral("ON");
    if (caption == QLatin1String("*")) return QStringLiteral("任意");
    return caption;
}

// A cell button: a table cell named by place and value, pressed as the mouse clicks it.
class CellAccessible final : public QAccessibleWidget, public QAccessibleTableCellInterface {
  public:
    explicit CellAccessible(QPushButton* cell) : QAccessibleWidget(cell, QAccessible::Cell) {}

    QString text(QAccessible::Text t) const override {
        const CellGrid* grid = GridOf(object());
        if (grid == nullptr) return QAccessibleWidget::text(t);
        if (t == QAccessible::Name) return CellName(*grid, grid->indexOf(object()));
        if (t == QAccessible::Description) {
            return grid->shape().selfCell >= 0
                       ? QStringLiteral(
                             "スペースキーかEnterキーでOFF、ON、任意の順に切り替えます。")
                       : QStringLiteral("スペースキーかEnterキーでONとOFFを切り替えます。");
        }
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
        const CellGrid::Shape& shape = Grid()->shape();
        if (t == QAccessible::Name) return shape.title + QStringLiteral("のセル");
        if (t == QAccessible::Description) {
            QString text = QStringLiteral("%1行%2列。").arg(shape.rows).arg(shape.columns);
            if (shape.selfCell >= 0) {
                text += QStringLiteral("%1行%2列がセル自身です。")
                            .arg(shape.selfCell / shape.columns + 1)
                            .arg(shape.selfCell % shape.columns + 1);
            }
            text += shape.edges == GridEdges::Wrap
                        ? QStringLiteral("矢印キーで移動します（端から反対の端へつながります）。")
                        : QStringLiteral("矢印キーで移動します。");
            return text;
        }
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
        const CellGrid::Shape& shape = Grid()->shape();
        if (row < 0 || row >= shape.rows || column < 0 || column >= shape.columns) return nullptr;
        return child(row * shape.columns + column);
    }
    int selectedCellCount() const override { return 0; }
    QList<QAccessibleInterface*> selectedCells() const override { return {}; }
    QString columnDescription(int column) const override {
        return QStringLiteral("%1列").arg(column + 1);
    }
    QString rowDescription(int row) const override { return QStringLiteral("%1行").arg(row + 1); }
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
        if (t == QAccessible::Description) return QStringLiteral("状態メッセージ");
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

void Name(QWidget* widget, const QString& name, const QString& description = QString()) {
    widget->setAccessibleName(name);
    if (!description.isEmpty()) widget->setAccessibleDescription(description);
}

}  // namespace

QString CellName(const CellGrid& grid, int index) {
    const CellGrid::Shape& shape = grid.shape();
    QString name = QStringLiteral("%1 %2行%3列")
                       .arg(shape.title)
                       .arg(index / shape.columns + 1)
                       .arg(index % shape.columns + 1);
    if (index == shape.selfCell) name += QStringLiteral(" セル自身");
    return name + QLatin1Char(' ') + ValueWord(grid.cell(index)->text());
}

void InstallAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

void NameControls(FormMain& w) {
    Name(w.Image1, QStringLiteral("Kelvara のロゴ"));
    Name(w.CommandMaRnd, QStringLiteral("本体をランダムにする"));
    Name(w.CommandMa0, QStringLiteral("本体をすべてOFF(0)にする"));
    Name(w.CommandMa1, QStringLiteral("本体をすべてON(1)にする"));
    Name(w.CommandMaRe, QStringLiteral("本体を反転する"));
    Name(w.CommandPrevious, QStringLiteral("前のプレート"),
         QStringLiteral("PageUpキーでも移動できます。"));
    Name(w.CommandNext, QStringLiteral("次のプレート"),
         QStringLiteral("最後のプレートでは1枚追加します。PageDownキーでも移動できます。"));
    Name(w.TextPlateNum, QStringLiteral("プレート番号"));
    Name(w.CommandDel, QStringLiteral("現在のプレートを削除"));
    Name(w.CommandIfB[0], QStringLiteral("条件をランダムにする"));
    Name(w.CommandIfB[1], QStringLiteral("条件をすべてOFF(0)にする"));
    Name(w.CommandIfB[2], QStringLiteral("条件をすべてON(1)にする"));
    Name(w.CommandIfB[3], QStringLiteral("条件をすべて任意にする"));
    for (QWidget* option : w.OptionMode) option->setAccessibleDescription(QStringLiteral("モード"));
}

void DescribePlates(FormMain& w, int now, int count) {
    w.TextPlateNum->setAccessibleDescription(
        QStringLiteral("現在のプレート（全%1枚）。PageUpとPageDownでも移動できます。").arg(count));
    w.LabelPlate->setAccessibleName(QStringLiteral("プレート %1 / 全%2枚").arg(now).arg(count));
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
