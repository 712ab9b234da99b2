#include <QApplication>

#include "app/appearance.h"
#include "app/command_line.h"
#include "app/dialogs.h"
#include "app/formmain.h"
#include "device/qt_serial_line.h"

int main(int argc, char* argv[]) {
    if (const auto done = kelvara::HandleCommandLine(argc, argv)) return *done;
    QApplication app(argc, argv);
    kelvara::ApplyAppearance(app);
    kelvara::QtDialogs dialogs;
    kelvara::QtSerialLine line;
    kelvara::FormMain window(dialogs, &line);
    QObject::connect(&line, &kelvara::QtSerialLine::lineEvent, &window,
                     &kelvara::FormMain::LineEvent);
    window.show();
    return app.exec();
}
