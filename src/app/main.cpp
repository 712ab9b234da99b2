#include <QApplication>

#include "app/appearance.h"
#include "app/dialogs.h"
#include "app/formmain.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    kelvara::ApplyAppearance(app);
    kelvara::QtDialogs dialogs;
    kelvara::FormMain window(dialogs);
    window.show();
    return app.exec();
}
