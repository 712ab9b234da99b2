#pragma once

#include <QColor>
#include <QFont>

class QApplication;

namespace kelvara {

// Colours of the window.
inline const QColor kActiveCaption(153, 180, 209);  // the desktop's active title bar
inline const QColor kFrameGrey(64, 64, 64);
inline const QColor kCommandGrey(128, 128, 128);
inline const QColor kPlateLabel(224, 224, 224);
inline const QColor kNormalMode(192, 255, 192);
inline const QColor kLifeMode(255, 128, 128);
inline const QColor kCellOff(255, 255, 255);
inline const QColor kCellOn(255, 51, 51);
inline const QColor kCellAny(170, 170, 170);

// The Japanese Gothic face at a size in points (at 96 dots per inch, as the layout is
// drawn in pixels).
QFont Gothic(double points, bool bold = false);

// A style that paints the face colours the window gives its buttons, and the default font.
void ApplyAppearance(QApplication& app);

}  // namespace kelvara
