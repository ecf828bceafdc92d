#include "cli/simd_targets.h"

#include "simd/dispatch.h"

#if RURUREV_HAVE_HWY
#include <hwy/highway.h>
#include <hwy/targets.h>
#endif

namespace rururev::cli {

std::string simd_targets_text() {
#if RURUREV_HAVE_HWY
    // Compiled with the module's target list; a lower bit is a better target.
    const auto usable = static_cast<uint64_t>(hwy::SupportedTargets() & HWY_TARGETS);
    std::string names, best;
    for (uint64_t bit = 1; bit != 0 && bit <= usable; bit <<= 1) {
        if ((usable & bit) == 0) continue;
        const std::string name = hwy::TargetName(static_cast<int64_t>(bit));
        if (best.empty()) best = name;
        names += (names.empty() ? "" : " ") + name;
    }
    if (fast::plain_requested()) return names + " (RURUREV_PLAIN is set: the plain kernels run)";
    return names + " (" + best + " in use)";
#else
    return "none: built without Highway, the plain kernels run";
#endif
}

}  // namespace rururev::cli
