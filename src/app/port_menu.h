#pragma once

#include <QObject>
#include <array>

#include "device/qt_ports.h"

class QAction;
class QMenu;

namespace kelvara {

// The port menu's tooltips, which are its entries' accessible descriptions too: at start-up and
// each time the menu opens, every entry COM1..COM9 names the device it reaches now and what the
// system says of it, or that nothing is connected.
class PortMenuTips final : public QObject {
    Q_OBJECT

  public:
    PortMenuTips(QMenu* menu, const std::array<QAction*, 9>& entries, PortLister ports);

    // Where the port list comes from (tests give a list of their own).
    void SetPortLister(PortLister ports) { ports_ = std::move(ports); }
    // Sets every entry's tooltip from the ports present now.
    void Refresh();

  private:
    std::array<QAction*, 9> entries_;
    PortLister ports_;
};

}  // namespace kelvara
