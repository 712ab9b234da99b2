#include "app/examples_folder.h"

#include <QDir>
#include <QFileInfo>

namespace kelvara {

QString ExamplesFolder(const QString& programDir) {
    for (const QString& folder :
         {QDir::cleanPath(programDir + QStringLiteral("/examples")),
          QDir::cleanPath(programDir + QStringLiteral("/../share/kelvara-editor/examples"))}) {
        if (QFileInfo(folder).isDir()) return folder;
    }
    return {};
}

}  // namespace kelvara
