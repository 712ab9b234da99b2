#include "app/port_menu.h"

#include <QAction>
#include <QMenu>

namespace kelvara {

PortMenuTips::PortMenuTips(QMenu* menu, const std::array<QAction*, 9>& entries, PortLister ports)
    : QObject(menu), entries_(entries), ports_(std::move(ports)) {
    menu->setToolTipsVisible(true);
    connect(menu, &QMenu::aboutToShow, this, &PortMenuTips::Refresh);
}

void PortMenuTips::Refresh() {
    const std::vector<PortInfo> ports = ports_();
    for (int n = 1; n <= 9; ++n) {
        const ResolvedPort port = ResolveComPort(n, ports, PortOverride(n), ThisSystem());
        entries_[static_cast<std::size_t>(n - 1)]->setToolTip(
            QString::fromStdString(PortToolTip(n, port)));
    }
}

}  // namespace kelvara
