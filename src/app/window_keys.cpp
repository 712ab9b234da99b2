#include "app/window_keys.h"

#include <QPushButton>
#include <QShortcut>

#include "app/formmain.h"

namespace kelvara {

namespace {
// The key clicks the button.
void Bind(FormMain& window, Qt::Key key, QPushButton* button) {
    auto* shortcut = new QShortcut(QKeySequence(key), &window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
}

// The tooltip of a button that has none of its own names the key as it is printed on keyboards.
void Tip(QPushButton* button, const QString& tip, const char* keyName) {
    button->setToolTip(tip + QStringLiteral("（%1）").arg(QLatin1String(keyName)));
}
}  // namespace

void InstallWindowKeys(FormMain& w) {
    Bind(w, Qt::Key_PageUp, w.CommandPrevious);
    Bind(w, Qt::Key_PageDown, w.CommandNext);
    Bind(w, Qt::Key_F5, w.CommandSe);
    Tip(w.CommandPrevious, QStringLiteral("前のプレート"), "PageUp");
    Tip(w.CommandNext, QStringLiteral("次のプレート。最後のプレートでは1枚追加します"), "PageDown");
    // The trial run's tooltip is the window's own text and stays as it is: its key is told by
    // the help page and, to a screen reader, by the button's description.
    w.CommandSe->setAccessibleDescription(w.CommandSe->toolTip() +
                                          QStringLiteral("F5キーでも動かせます。"));
}

}  // namespace kelvara
