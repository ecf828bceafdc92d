// RURUREV_TARGET on the SIMD library's own target list.
#include <cctype>

#include <hwy/highway.h>
#include <hwy/targets.h>

#include "engine/dispatch.h"

// The fast paths compute in vectors of doubles, which Highway's WebAssembly
// target has from version 1.1 on.
#if (HWY_TARGETS & HWY_WASM) && HWY_MAJOR == 1 && HWY_MINOR < 1
#error "a WebAssembly build needs Highway 1.1 or later (packaging/playground/build.sh fetches it)"
#endif

namespace rururev::fast {
namespace {

bool same_name(const char* value, const char* name) {
    for (; *value != '\0' && *name != '\0'; value++, name++) {
        if (std::toupper(static_cast<unsigned char>(*value)) != *name) return false;
    }
    return *value == *name;
}

}  // namespace

int64_t target_value(const char* value) {
    if (value == nullptr || value[0] == '\0') return 0;
    for (int bit = 0; bit < 63; bit++) {
        const int64_t target = int64_t{1} << bit;
        if (same_name(value, hwy::TargetName(target))) return target;
    }
    return 0;
}

#if (HWY_TARGETS & (HWY_TARGETS - 1)) == 0
// Static dispatch (WebAssembly): the one target compiled runs every call,
// and the library's run-time choice, which a build of its headers alone
// lacks, has nothing to choose.
void limit_targets(const char*) {}
const char* target_in_use() { return hwy::TargetName(HWY_TARGETS); }
#else
void limit_targets(const char* value) {
    const int64_t target = target_value(value);
    // Lower bits are better targets. The compiled baseline stays, so that
    // SCALAR means the portable code whichever form of it is compiled.
    const int64_t better = target == 0 ? 0 : (target - 1) & ~int64_t{HWY_STATIC_TARGET};
    hwy::DisableTargets(better);
}

const char* target_in_use() {
    const int64_t targets = hwy::SupportedTargets() & HWY_TARGETS;
    return hwy::TargetName(targets & -targets);
}
#endif

}  // namespace rururev::fast
