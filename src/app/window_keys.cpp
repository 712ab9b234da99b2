#include "app/window_keys.h"

#include <QPushButton>
#include <QShortcut>

#include "app/formmain.h"
#include "editor/window_layout.h"

namespace kelvara {

void InstallWindowKeys(FormMain& w) {
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
