// The state the module keeps between calls, process-wide: the curve table
// and the frame store. No Lua function clears it; the tests and the fuzz
// targets, which link the module's code and module_state.cpp (the module
// itself has no reset), do, so that each case starts as a freshly loaded
// module does. A host that loads the shared module gets the same by closing
// every state that holds it, which unloads it (the rururev preview does).
#pragma once

namespace rururev {

// Curve points back to 0, the frame store emptied.
void reset_module_state();

}  // namespace rururev
