// The state the module keeps between calls, process-wide: the curve table
// and the frame store. No Lua function clears it; the tests and the fuzz
// targets, which link the module's code and module_state.cpp (the module
// itself has no reset), do, so that each case starts as a freshly loaded
// module does. The rururev preview, which reaches the module through Lua
// alone, does the same with its functions (cli/preview_session.cpp).
#pragma once

namespace rururev {

// Curve points back to 0, the frame store emptied.
void reset_module_state();

}  // namespace rururev
