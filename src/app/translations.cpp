#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kelvara {

void InstallQtTranslation(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    // The copy built into the program comes first; otherwise the one Qt itself is installed with.
    if (translator->load(QStringLiteral(":/translations/qtbase_ja.qm")) ||
        translator->load(QStringLiteral("qtbase_ja"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}

}  // namespace kelvara
