#pragma once

#include <QString>

namespace kelvara {

// The folder of the example data files that come with the editor, where the open dialog starts
// until a file has been chosen: "examples" beside the program (the build tree, and the program's
// folder on Windows), else share/kelvara-editor/examples beside the bin/ folder of an installed
// program. Empty when neither is there.
QString ExamplesFolder(const QString& programDir);

}  // namespace kelvara
