// A one-entry memo for filters whose new colour depends on the old colour
// alone: a run of pixels of one colour (flat fills, backgrounds, bars) is
// converted once instead of once per pixel.
#pragma once

#include <cstdint>

#include "core/pixel.h"

namespace rururev::kernel {

template <class Convert>
class LastColour {
public:
    // convert maps a colour (a word masked with kColourBits) to the new
    // colour in the same form.
    explicit LastColour(Convert convert) : convert_(convert) {}

    uint32_t operator()(uint32_t rgb) {
        if (rgb != in_) {
            in_ = rgb;
            out_ = convert_(rgb);
        }
        return out_;
    }

private:
    Convert convert_;
    uint32_t in_ = 0xFFFFFFFF;  // alpha bits set: never a colour
    uint32_t out_ = 0;
};

}  // namespace rururev::kernel
