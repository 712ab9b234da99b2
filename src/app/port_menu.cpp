#include "app/port_menu.h"

#include <QAction>
#include <QMenu>

namespace kelvara {

PortMenuTips::PortMenuTips(QMenu* menu, const std::array<QAction*, 9>& entries, PortLister ports)
    : QObject(menu), entries_(entries), ports_(std::move(ports)) {
    menu->setToolTipsVisible(true);
    connect(menu, &QMenu::aboutToShow, this, &PortMenuTips::Refresh);
    // Also before the menu first opens: a screen reader reads them as the entries' descriptions.
    Refresh();
}

void PortMenuTips::Refresh() {
    const std::vector<ResolvedPort> ports = ResolveSystemPorts(ports_);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        entries_[i]->setToolTip(
            QString::fromStdString(PortToolTip(static_cast<int>(i) + 1, ports[i])));
    }
}

}  // namespace kelvara
