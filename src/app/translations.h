#pragma once

class QCoreApplication;

namespace kelvara {

// Qt's own texts (the file dialogs' labels and buttons, a line edit's context menu) in Japanese,
// like every other word of the editor. The translation is built into the program.
void InstallQtTranslation(QCoreApplication& app);

}  // namespace kelvara
