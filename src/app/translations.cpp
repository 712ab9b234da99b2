#include "app/translations.h"

#include <QCoreApplication>
#include <QTranslator>

namespace kelvara {

void InstallQtTranslation(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (translator->load(QStringLiteral(":/translations/qtbase_ja.qm"))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}

}  // namespace kelvara
