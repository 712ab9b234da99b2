#include "app/window_access.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
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
        const layout::GridLayout& shape = Grid()->shape();
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

// The plate label: a notification too, whose name says which plate is shown ("プレート 2 /
// 全2枚"), spoken when paging changes it (AnnounceStatus).
class PlateLabelAccessible final : public QAccessibleWidget {
  public:
    explicit PlateLabelAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::Notification) {}
};

// An entry of the port menu: its name is its caption ("COM1"), its description what the number
// reaches now, as its tooltip says.
class PortItemAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
  public:
    explicit PortItemAccessible(QAction* action) : action_(action) {}

    bool isValid() const override { return action_ != nullptr && Menu() != nullptr; }
    QObject* object() const override { return action_; }
    QWindow* window() const override {
        return Menu() != nullptr ? Menu()->windowHandle() : nullptr;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(Menu());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override {
        if (action_ == nullptr) return {};
        if (t == QAccessible::Name) return action_->text();
        if (t == QAccessible::Description) return action_->toolTip();
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        QMenu* menu = Menu();
        if (menu == nullptr) return {};
        const QRect r = menu->actionGeometry(action_);
        return r.translated(menu->mapToGlobal(QPoint(0, 0)));
    }
    QAccessible::Role role() const override { return QAccessible::MenuItem; }
    QAccessible::State state() const override {
        QAccessible::State s;
        QMenu* menu = Menu();
        if (menu == nullptr || !menu->isVisible()) s.invisible = true;
        if (menu != nullptr && menu->activeAction() == action_) s.focused = true;
        if (!action_->isEnabled()) s.disabled = true;
        s.checkable = action_->isCheckable();
        s.checked = action_->isChecked();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ActionInterface) {
            return static_cast<QAccessibleActionInterface*>(this);
        }
        return nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && action_ != nullptr && action_->isEnabled()) {
            action_->trigger();
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

  private:
    QMenu* Menu() const {
        return action_ != nullptr ? qobject_cast<QMenu*>(action_->parent()) : nullptr;
    }

    QPointer<QAction> action_;
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
    if (key == QLatin1String("QLabel") && object->objectName() == QLatin1String("LabelPlate")) {
        return new PlateLabelAccessible(static_cast<QLabel*>(object));
    }
    // The port menu's entries, not the menu bar's entry that opens the menu.
    if (auto* menu = qobject_cast<QMenu*>(object->parent());
        key == QLatin1String("QAction") && menu != nullptr &&
        menu->objectName() == QLatin1String("MenuComPort") && object != menu->menuAction()) {
        return new PortItemAccessible(static_cast<QAction*>(object));
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

void AnnounceStatus(QWidget* notification) {
    // Once: on the Linux accessibility bus a notification is spoken when it is shown; Windows'
    // screen readers speak an alert.
#if defined(Q_OS_WIN)
    QAccessibleEvent event(notification, QAccessible::Alert);
#else
    QAccessibleEvent event(notification, QAccessible::ObjectShow);
#endif
    QAccessible::updateAccessibility(&event);
}

}  // namespace kelvara
