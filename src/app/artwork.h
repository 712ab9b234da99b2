#pragma once

#include <QPixmap>

namespace kelvara {

// The window's decorative picture (an abstract blue shape on a starry black ground) and
// the small logo, painted by the program so no image file has to ship with it.
QPixmap BackgroundPicture();  // 560 x 460
QPixmap LogoPicture();        // 120 x 40

}  // namespace kelvara
