// A one-entry memo for filters whose new colour depends on the old colour
// alone: a run of pixels of one colour (flat fills, backgrounds, bars) is
// converted once instead of once per pixel.
#pragma once

#include <cstdint>

namespace rururev::kernel {

// A word's alpha byte, and its colour: red, green and blue.
constexpr uint32_t kAlphaBits = 0xFF000000;
constexpr uint32_t kColourBits = 0x00FFFFFF;

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
