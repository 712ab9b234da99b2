#pragma once

namespace kelvara {

class FormMain;

// Keys for the commands a keyboard user needs most (layout::WindowKeys), shown in the buttons'
// tooltips: PageUp and PageDown page through the plates as "←" and "→" do, F5 runs
// "試しに動かす". None of them types anything, so they work from the plate number box too; each
// clicks its button, so a disabled button ignores its key as it ignores the mouse.
void InstallWindowKeys(FormMain& window);

}  // namespace kelvara
