#include "cli/simd_targets.h"

#include "engine/dispatch.h"

#if RURUREV_HAVE_HWY
#include <hwy/highway.h>
#include <hwy/targets.h>
#endif

namespace rururev::cli {

std::string simd_targets_text() {
#if RURUREV_HAVE_HWY
    // The first call applies RURUREV_TARGET, which leaves better targets out.
    const bool plain = fast::plain_requested();
    // Compiled with the module's target list; a lower bit is a better target.
    const auto usable = static_cast<uint64_t>(hwy::SupportedTargets() & HWY_TARGETS);
    std::string names;
    for (uint64_t bit = 1; bit != 0 && bit <= usable; bit <<= 1) {
        if ((usable & bit) == 0) continue;
        names += (names.empty() ? "" : " ") + std::string(hwy::TargetName(static_cast<int64_t>(bit)));
    }
    if (plain) return names + " (RURUREV_PLAIN is set: the plain kernels run)";
    return names + " (" + fast::target_in_use() + " in use)";
#else
    return "none: built without Highway, the plain kernels run";
#endif
}

}  // namespace rururev::cli
