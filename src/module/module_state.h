// The state the module keeps between calls, process-wide: the curve table
// and the frame store. No Lua function clears it; tests and the fuzz targets
// do, so that each case starts as a freshly loaded module does.
#pragma once

namespace rururev {

// Curve points back to 0, the frame store emptied.
void reset_module_state();

}  // namespace rururev
