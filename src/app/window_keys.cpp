#include "app/window_keys.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include "app/formmain.h"
#include "editor/window_layout.h"

namespace kelvara {

namespace {

// The option groups as a keyboard user meets them. Each group is one tab stop: Tab lands on the
// checked option (the others take no focus from Tab), and the arrow keys move within the group,
// selecting as they go. The mode pair stands side by side, so ↑ and ↓ go as ← and →.
class OptionKeys final : public QObject {
  public:
    OptionKeys(QWidget* window, const std::vector<QButtonGroup*>& groups) : QObject(window) {
        for (QButtonGroup* group : groups) {
            for (QAbstractButton* option : group->buttons()) option->installEventFilter(this);
            connect(group, &QButtonGroup::buttonToggled, this, [group] { TabStop(group); });
            TabStop(group);
        }
    }

  private:
    static void TabStop(QButtonGroup* group) {
        for (QAbstractButton* option : group->buttons()) {
            option->setFocusPolicy(option == group->checkedButton() ? Qt::TabFocus
                                                                    : Qt::ClickFocus);
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* option = qobject_cast<QRadioButton*>(watched);
        if (option == nullptr || event->type() != QEvent::KeyPress ||
            !option->objectName().startsWith(QLatin1String("OptionMode"))) {
            return false;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Up && key->key() != Qt::Key_Down) return false;
        QKeyEvent sideways(QEvent::KeyPress,
                           key->key() == Qt::Key_Up ? Qt::Key_Left : Qt::Key_Right,
                           key->modifiers());
        QCoreApplication::sendEvent(option, &sideways);
        return true;
    }
};

}  // namespace

void InstallWindowKeys(FormMain& w) {
    new OptionKeys(&w, w.OptionGroups());
    const std::pair<std::string_view, Qt::Key> keys[] = {
        {"PageUp", Qt::Key_PageUp}, {"PageDown", Qt::Key_PageDown}, {"F5", Qt::Key_F5}};
    for (const layout::WindowKey& binding : layout::WindowKeys()) {
        auto* button = qobject_cast<QPushButton*>(w.ControlNamed(binding.button));
        for (const auto& [name, key] : keys) {
            if (name != binding.key || button == nullptr) continue;
            // The key clicks the button.
            auto* shortcut = new QShortcut(QKeySequence(key), &w);
            shortcut->setContext(Qt::WindowShortcut);
            QObject::connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
        }
    }
}

}  // namespace kelvara
