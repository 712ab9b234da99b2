#include <QApplication>

#include "app/appearance.h"
#include "app/command_line.h"
#include "app/dialogs.h"
#include "app/formmain.h"
#include "app/translations.h"
#include "device/system_serial_line.h"

int main(int argc, char* argv[]) {
    if (const auto done = kelvara::HandleCommandLine(argc, argv)) return *done;
    QApplication app(argc, argv);
    kelvara::InstallQtTranslation(app);
    kelvara::ApplyAppearance(app);
    kelvara::QtDialogs dialogs;
    kelvara::SystemSerialLine line;
    kelvara::FormMain window(dialogs, &line);
    window.show();
    if (const auto file = kelvara::FileToOpen(QCoreApplication::arguments())) {
        window.editor().OpenFileGiven(*file);
    }
    return app.exec();
}
