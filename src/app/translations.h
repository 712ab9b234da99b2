#pragma once

class QCoreApplication;

namespace kelvara {

// Qt's own texts (the file dialogs' labels and buttons, a line edit's context menu) in Japanese,
// like every other word of the editor: the translation built into the program (Windows), or
// the one installed with Qt (Linux).
void InstallQtTranslation(QCoreApplication& app);

}  // namespace kelvara
