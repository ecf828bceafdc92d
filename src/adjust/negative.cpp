// Toned monochrome negative: each visible pixel becomes a grey level,
// reflected about a pivot and coloured with one hue and saturation through the
// 8-bit HSV back conversion.
#include <cstdlib>

#include "adjust/hsv_filters.h"
#include "adjust/last_colour.h"
#include "core/pixel.h"

namespace rururev::kernel {

// Grey weights, held in single precision; the sum is formed in double.
static constexpr float kRedWeight = kGreyFloat.red;
static constexpr float kGreenWeight = kGreyFloat.green;
static constexpr float kBlueWeight = kGreyFloat.blue;

// The grey level less t3, truncated toward zero and clamped to 0 to 255.
static uint32_t grey_level(uint32_t word, int32_t t3) {
    const double cave = double{kRedWeight} * red_of(word) + double{kGreenWeight} * green_of(word) +
                        double{kBlueWeight} * blue_of(word) - t3;
    return clamp255(trunc_to_int(cave));
}

namespace {

// The toned colour of each grey level, red, green and blue with alpha 0,
// computed the first time a level is met: hue and saturation are the same for
// every pixel, so the output depends on the grey level alone.
class Tones {
public:
    Tones(int32_t t0, int32_t t1, int32_t t2) : t2_(t2) {
        hh_ = 0 - int64_t{t0};
        if (hh_ < 0) hh_ += 360;  // once: t0 above 360 leaves the hue negative
        ss_ = static_cast<int32_t>(clamp255(std::abs(0 - int64_t{t1})));
        for (uint32_t& rgb : rgb_) rgb = kUnknown;
    }

    uint32_t operator[](uint32_t cave) {
        if (rgb_[cave] == kUnknown) rgb_[cave] = tone(cave);
        return rgb_[cave];
    }

private:
    static constexpr uint32_t kUnknown = 0xFFFFFFFF;  // never a colour: alpha is 0

    uint32_t tone(uint32_t cave) const {
        const auto vv = static_cast<int32_t>(clamp255(std::abs(int64_t{cave} - t2_)));
        // A hue with no sector colours nothing: the pixel stays plain grey.
        int32_t r = static_cast<int32_t>(cave), g = r, b = r;
        hsv8_back(hh_, ss_, vv, &r, &g, &b);
        return pack(0, clamp255(r), clamp255(g), clamp255(b));
    }

    int64_t hh_;
    int32_t ss_;
    int32_t t2_;
    uint32_t rgb_[256];
};

}  // namespace

void tovoNega(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    Tones tones(t0, t1, t2);
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t word = data[i];
        if (alpha_of(word) > 0) data[i] = (word & kAlphaBits) | tones[grey_level(word, t3)];
    }
}

}  // namespace rururev::kernel
