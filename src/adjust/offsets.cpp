// Channel offsets: a signed offset per channel, clamped to 0 to 255.
#include "filters/filter_functions.h"
#include "core/pixel.h"

namespace rururev::kernel {

static uint32_t offset_pixel(uint32_t word, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    return pack(clamp255(int64_t{alpha_of(word)} + t3), clamp255(int64_t{red_of(word)} + t0),
                clamp255(int64_t{green_of(word)} + t1), clamp255(int64_t{blue_of(word)} + t2));
}

void tovoRGB(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    for (uint32_t i = 0; i < count; i++) data[i] = offset_pixel(data[i], t0, t1, t2, t3);
}

void tovoRGB2(uint32_t* data, uint32_t count, int32_t t0, int32_t t1, int32_t t2, int32_t t3) {
    for (uint32_t i = 0; i < count; i++) {
        if (alpha_of(data[i]) > 0) data[i] = offset_pixel(data[i], t0, t1, t2, t3);
    }
}

}  // namespace rururev::kernel
