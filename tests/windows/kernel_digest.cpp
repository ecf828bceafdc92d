// Prints one line per kernel: its name and a 64-bit hash of everything it
// wrote over fixed inputs. A build for another target (32-bit or 64-bit
// Windows) must print exactly the lines that this machine's build prints; a
// difference means some arithmetic depends on the target, such as x87 excess
// precision or a contracted multiply-add. No Lua and no test framework, so
// that the program runs anywhere the kernels build.
//
// Each new kernel adds a line to image_cases, with parameters that reach its
// rounding and clamping paths.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "adjust/adjust.h"
#include "pixel.h"

using namespace rururev;

namespace {

// FNV-1a over the bytes of each value, low byte first on every target.
struct Digest {
    uint64_t h = 14695981039346656037ull;
    void add(uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            h ^= (v >> (8 * i)) & 255u;
            h *= 1099511628211ull;
        }
    }
    void add_double(double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        add(bits);
    }
};

constexpr uint32_t kWidth = 256;
constexpr uint32_t kHeight = 256;

// A fixed image of pseudo-random words in which one pixel in eight is fully
// transparent and one in eight fully opaque.
std::vector<uint32_t> test_image() {
    std::vector<uint32_t> words(kWidth * kHeight);
    uint32_t x = 2463534242u;
    for (uint32_t i = 0; i < words.size(); ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        uint32_t word = x;
        if (i % 8 == 3) word &= 0x00FFFFFFu;
        if (i % 8 == 5) word |= 0xFF000000u;
        words[i] = word;
    }
    return words;
}

struct ImageCase {
    const char* name;
    void (*run)(uint32_t* data, uint32_t w, uint32_t h);
};

const ImageCase image_cases[] = {
    {"tovoRGB(10,-20,30,-40)",
     [](uint32_t* d, uint32_t w, uint32_t h) { kernel::tovoRGB(d, w * h, 10, -20, 30, -40); }},
    {"tovoRGB(-300,300,0,255)",
     [](uint32_t* d, uint32_t w, uint32_t h) { kernel::tovoRGB(d, w * h, -300, 300, 0, 255); }},
    {"tovoRGB2(10,-20,30,-40)",
     [](uint32_t* d, uint32_t w, uint32_t h) { kernel::tovoRGB2(d, w * h, 10, -20, 30, -40); }},
};

uint64_t digest_image_case(const ImageCase& c) {
    std::vector<uint32_t> words = test_image();
    c.run(words.data(), kWidth, kHeight);
    Digest d;
    for (uint32_t w : words) d.add(w);
    return d.h;
}

// Every colour there is, forward and back through the double-precision pair,
// with the value and saturation nudged so that the back conversion leaves
// the exact grid too.
uint64_t digest_hsv() {
    Digest d;
    for (uint32_t c = 0; c < (1u << 24); c += 3) {
        double H, S, V;
        RGB2HSV(red_of(c), green_of(c), blue_of(c), &H, &S, &V);
        d.add_double(H);
        d.add_double(S);
        d.add_double(V);
        int R = 0, G = 0, B = 0;
        HSV2RGB(H + (c % 720), S * 0.75, V * 1.1 + 0.5, &R, &G, &B);
        d.add(static_cast<uint32_t>(R));
        d.add(static_cast<uint32_t>(G));
        d.add(static_cast<uint32_t>(B));
    }
    return d.h;
}

// Every colour forward through the 8-bit pair, then back with a shifted hue
// and saturation, and channels shifted before the forward step.
uint64_t digest_hsv8() {
    Digest d;
    for (uint32_t c = 0; c < (1u << 24); c += 3) {
        const int64_t shift = static_cast<int64_t>(c % 41) - 20;
        const Hsv8 f = hsv8_forward(red_of(c) + shift, green_of(c), blue_of(c));
        d.add(static_cast<uint32_t>(f.hh));
        d.add(static_cast<uint32_t>(f.ss));
        d.add(static_cast<uint32_t>(f.vv));
        d.add_double(f.cmax);
        d.add_double(f.cmin);
        const int32_t ss = f.ss < 0 ? 0 : (f.ss > 255 ? 255 : f.ss);
        const int32_t vv = f.vv < 0 ? 0 : (f.vv > 255 ? 255 : f.vv);
        int32_t r = 0, g = 0, b = 0;
        if (hsv8_back(f.hh + (c % 400), ss / 2 + 64, vv, &r, &g, &b)) {
            d.add(static_cast<uint32_t>(r));
            d.add(static_cast<uint32_t>(g));
            d.add(static_cast<uint32_t>(b));
        }
    }
    return d.h;
}

}  // namespace

int main() {
    std::printf("RGB2HSV/HSV2RGB %016" PRIx64 "\n", digest_hsv());
    std::printf("hsv8_forward/hsv8_back %016" PRIx64 "\n", digest_hsv8());
    for (const ImageCase& c : image_cases)
        std::printf("%s %016" PRIx64 "\n", c.name, digest_image_case(c));
    return 0;
}
