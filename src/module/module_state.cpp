#include "module/module_state.h"

#include <algorithm>
#include <iterator>

#include "curve/curve.h"
#include "region/frame_store.h"

namespace rururev {

void reset_module_state() {
    std::fill(std::begin(pointx), std::end(pointx), 0.0);
    std::fill(std::begin(pointy), std::end(pointy), 0.0);
    frame_store().release();
}

}  // namespace rururev
