#include "app/window_keys.h"

#include <QPushButton>
#include <QShortcut>

#include "app/formmain.h"

namespace kelvara {

namespace {
// The key clicks the button; the tooltip names the key as it is printed on keyboards.
void Bind(FormMain& window, Qt::Key key, const char* keyName, QPushButton* button,
          const QString& tip) {
    auto* shortcut = new QShortcut(QKeySequence(key), &window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
    button->setToolTip(tip + QStringLiteral("（%1）").arg(QLatin1String(keyName)));
}
}  // namespace

void InstallWindowKeys(FormMain& w) {
    Bind(w, Qt::Key_PageUp, "PageUp", w.CommandPrevious, QStringLiteral("前のプレート"));
    Bind(w, Qt::Key_PageDown, "PageDown", w.CommandNext,
         QStringLiteral("次のプレート。最後のプレートでは1枚追加します"));
    // The trial run keeps its own tooltip text, with the key after it.
    Bind(w, Qt::Key_F5, "F5", w.CommandSe, w.CommandSe->toolTip());
}

}  // namespace kelvara
