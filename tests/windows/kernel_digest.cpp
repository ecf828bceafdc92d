// Prints one line per kernel: its name and a 64-bit hash of everything it
// wrote over fixed inputs. A build for another target (32-bit or 64-bit
// Windows) must print exactly the lines that this machine's build prints; a
// difference means some arithmetic depends on the target, such as x87 excess
// precision or a contracted multiply-add. No Lua and no test framework, so
// that the program runs anywhere the kernels build.
//
// With --every-colour it runs the fast paths over a frame of every 24-bit
// colour instead (kernel_digest_every_colour.expected): the native proofs
// show each fast path equal to its plain kernel over every colour, so equal
// lines show every target's fast paths equal to them too.
//
// Each new kernel adds a line to image_cases, with parameters that reach its
// rounding and clamping paths; a filter of filters/filter_list.inc without
// one fails the run.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "filters/filter_functions.h"
#include "adjust/hsv_filters.h"
#include "curve/curve.h"
#include "core/pixel.h"
#include "engine/parallel.h"

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

// A 4096 x 4096 frame holding every 24-bit colour once, in order. Alpha is
// scattered over all its values by a fixed hash, with one pixel in eight
// fully transparent and one in eight fully opaque, as in test_image.
constexpr uint32_t kFrameSide = 4096;

std::vector<uint32_t> every_colour_frame() {
    std::vector<uint32_t> words(kFrameSide * kFrameSide);
    for (uint32_t i = 0; i < words.size(); ++i) {
        uint32_t alpha = (i * 2654435761u) >> 24;
        if (i % 8 == 3) alpha = 0;
        if (i % 8 == 5) alpha = 255;
        words[i] = alpha << 24 | i;
    }
    return words;
}

// A curve with positive and negative displacements and fractions that
// reach the floor in the curve filters.
double curve[curve_points];

void fill_curve() {
    for (int32_t i = 0; i < curve_points; ++i) curve[i] = ((i * 37) % 101 - 50) * 0.73;
}

// A case holds one call on the plain kernels, the fast paths and the fast
// paths over threads (filter_functions.h). It runs on the plain kernels,
// and with --every-colour on the fast paths, which are what a call from Lua
// takes (over threads where there are any: the same words). A kernel with
// no fast path has no line in that mode.
using Run = void (*)(uint32_t* data, uint32_t w, uint32_t h);
struct PathCase {
    const char* name;
    Run plain;
    Run fast;
    Run threaded;
};
#define DIGEST_CASE(name, ...) PathCase{name, RURUREV_EACH_PATH(__VA_ARGS__)}
#define KERNEL_CASE(name, call) \
    PathCase { name, [](uint32_t* d, uint32_t w, uint32_t h) { (void)h, kernel::call; }, nullptr, nullptr }

const PathCase image_cases[] = {
    DIGEST_CASE("tovoRGB(10,-20,30,-40)", tovoRGB(d, w * h, 10, -20, 30, -40)),
    DIGEST_CASE("tovoRGB(-300,300,0,255)", tovoRGB(d, w * h, -300, 300, 0, 255)),
    DIGEST_CASE("tovoRGB2(10,-20,30,-40)", tovoRGB2(d, w * h, 10, -20, 30, -40)),
    DIGEST_CASE("tovoHSV(25,-40,30,-10)", tovoHSV(d, w * h, 25, -40, 30, -10)),
    DIGEST_CASE("tovoHSV(-400,300,-300,0)", tovoHSV(d, w * h, -400, 300, -300, 0)),
    DIGEST_CASE("tovoHSV2(30,-20,10,15,0x808080,120)", tovoHSV2(d, w * h, 30, -20, 10, 15, 0x808080, 120)),
    DIGEST_CASE("tovoNega(-30,255,255,10)", tovoNega(d, w * h, -30, 255, 255, 10)),
    DIGEST_CASE("tovoHighShadow(230,20,5,90,250,10)", tovoHighShadow(d, w * h, 230, 20, 5, 90, 250, 10)),
    DIGEST_CASE("tovoHighShadowDoder(200,40,-5,110,255,0)", tovoHighShadowDoder(d, w * h, 200, 40, -5, 110, 255, 0)),
    DIGEST_CASE("tovoMono(0,0,0,0,false)", tovoMono(d, w * h, 0, 0, 0, 0, false)),
    DIGEST_CASE("tovoMono(10,-20,30,5,true)", tovoMono(d, w * h, 10, -20, 30, 5, true)),
    DIGEST_CASE("tovo2Pns(0,0,0,0,0,255,0)", tovo2Pns(d, w * h, 0, 0, 0, 0, 0, 255, 0)),
    DIGEST_CASE("tovo2Pns(10,20,30,-5,1,200,40)", tovo2Pns(d, w * h, 10, 20, 30, -5, 1, 200, 40)),
    // The draws come from the C library's generator, which differs between
    // platforms; a threshold of 0 passes every draw, whatever it is.
    KERNEL_CASE("tovoAlp0(0,7,50)", tovoAlp0(d, w * h, 0, 7, 50)),
    KERNEL_CASE("tovoAlp0(0,7,-1)", tovoAlp0(d, w * h, 0, 7, -1)),
    DIGEST_CASE("tovoGanma(0.45,0,0,0)", tovoGanma(d, w * h, 0.45f, 0, 0, 0)),
    DIGEST_CASE("tovoGanma(2.2,10,-10,5)", tovoGanma(d, w * h, 2.2f, 10, -10, 5)),
    DIGEST_CASE("tovoNStage(4,0,0,0,false)", tovoNStage(d, w * h, 4, 0, 0, 0, false)),
    DIGEST_CASE("tovoNStage(7,10,-20,30,true)", tovoNStage(d, w * h, 7, 10, -20, 30, true)),
    DIGEST_CASE("tovoNStage2(3,0,0,0,false)", tovoNStage2(d, w * h, 3, 0, 0, 0, false)),
    DIGEST_CASE("tovoNStage2(6,-10,20,-30,true)", tovoNStage2(d, w * h, 6, -10, 20, -30, true)),
    DIGEST_CASE("tovoRngPut(60,80,0,0xFF336699,0)", tovoRngPut(d, w * h, 60, 80, 0, 0xFF336699, 0)),
    DIGEST_CASE("tovoRngPut(60,80,1,0,1)", tovoRngPut(d, w * h, 60, 80, 1, 0, 1)),
    DIGEST_CASE("tovoYCbCr(40,20,20,0x808080)", tovoYCbCr(d, w * h, 40, 20, 20, 0x808080)),
    DIGEST_CASE("tovoYCbCr(255,10,10,0x123456)", tovoYCbCr(d, w * h, 255, 10, 10, 0x123456)),
    DIGEST_CASE("tovoCSplt(30,60,60,20,0xFF3366CC,10,200,20,220)",
                tovoCSplt(d, w, h, 30, 60, 60, 20, 0xFF3366CC, 10, 200, 20, 220)),
    DIGEST_CASE("tovoCSplt(359,255,255,-30,0xFF0000,0,-1,0,-1)",
                tovoCSplt(d, w, h, 359, 255, 255, -30, 0xFF0000, 0, ~0u, 0, ~0u)),
    DIGEST_CASE("tovoCTracking(30,60,60,20,0xFF3366CC,10,200,20,220)",
                tovoCTracking(d, w, h, 30, 60, 60, 20, 0xFF3366CC, 10, 200, 20, 220)),
    // Two frames: the first fills the empty store, the second, shifted in
    // colour, is compared with it.
    DIGEST_CASE("tovoFrameCBA(20,10,10,3,0xFFFF00FF,true) twice",
                std::vector<uint32_t> store(w * h);
                tovoFrameCBA(d, w * h, store.data(), 20, 10, 10, 3, 0xFFFF00FF, true);
                tovoRGB(d, w * h, 15, -15, 5, 0);
                tovoFrameCBA(d, w * h, store.data(), 20, 10, 10, 3, 0xFFFF00FF, true)),
    // Every mode in turn over the same buffer.
    DIGEST_CASE("tovoInterRGB(75,0..13,200)",
                for (int32_t mode = 0; mode <= 13; ++mode) tovoInterRGB(d, w * h, curve, 75, mode, 200)),
    DIGEST_CASE("tovoInterHSV(60,0..2,90)",
                for (int32_t mode = 0; mode <= 2; ++mode) tovoInterHSV(d, w * h, curve, 60, mode, 90)),
};

// Filters split over threads (the Win32 API's on Windows) against their
// kernels; each prints "same" when every word agrees.
#define PATH_CASE(call) DIGEST_CASE(#call, call)

const PathCase split_cases[] = {
    PATH_CASE(tovoHSV(d, w * h, 25, -40, 30, -10)),
    PATH_CASE(tovoGanma(d, w * h, 2.2f, 10, -10, 5)),
    PATH_CASE(tovoCSplt(d, w, h, 30, 60, 60, 20, 0xFF3366CC, 10, 200, 20, 220)),
    PATH_CASE(tovoInterHSV(d, w * h, curve, 60, 0, 90)),
};

uint64_t digest_of(const std::vector<uint32_t>& words) {
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

// With --every-colour, prints one line per case that has a fast path: the
// digest of what the fast path wrote over every_colour_frame. Without
// arguments, the pairs of HSV conversions, every case's plain kernel over
// test_image, the threaded paths and the check that every filter has a case.
int main(int argc, char** argv) {
    fill_curve();
    if (argc == 2 && std::strcmp(argv[1], "--every-colour") == 0) {
        const uint64_t unchanged = digest_of(every_colour_frame());
        int status = 0;
        for (const PathCase& c : image_cases) {
            if (!c.fast) continue;
            std::vector<uint32_t> words = every_colour_frame();
            c.fast(words.data(), kFrameSide, kFrameSide);
            const uint64_t h = digest_of(words);
            std::printf("%s %016" PRIx64 "%s\n", c.name, h, h == unchanged ? " UNCHANGED" : "");
            std::fflush(stdout);
            if (h == unchanged) status = 1;
        }
        return status;
    }
    if (argc != 1) {
        std::fprintf(stderr, "usage: %s [--every-colour]\n", argv[0]);
        return 2;
    }
    std::printf("RGB2HSV/HSV2RGB %016" PRIx64 "\n", digest_hsv());
    std::printf("hsv8_forward/hsv8_back %016" PRIx64 "\n", digest_hsv8());
    // A case that leaves the image as it was would compare nothing.
    const uint64_t unchanged = digest_of(test_image());
    int status = 0;
    for (const PathCase& c : image_cases) {
        std::vector<uint32_t> words = test_image();
        c.plain(words.data(), kWidth, kHeight);
        const uint64_t h = digest_of(words);
        std::printf("%s %016" PRIx64 "%s\n", c.name, h, h == unchanged ? " UNCHANGED" : "");
        if (h == unchanged) status = 1;
    }
    parallel::set_plan_for_test(3, 1);
    for (const PathCase& c : split_cases) {
        std::vector<uint32_t> expected = test_image(), got = test_image();
        c.plain(expected.data(), kWidth, kHeight);
        c.threaded(got.data(), kWidth, kHeight);
        std::printf("%s on 3 threads: %s\n", c.name, got == expected ? "same" : "DIFFERENT");
        if (got != expected) status = 1;
    }
    // Every buffer filter of the list has a case.
    for (const char* name : {
#define RURUREV_FILTER(name, split, cost, kinds, params, args, about, sample) #name,
#define RURUREV_KERNEL_ONLY(name, kinds, params, about, sample) #name,
#include "filters/filter_list.inc"
         }) {
        const size_t n = std::strlen(name);
        bool found = false;
        for (const PathCase& c : image_cases) {
            found = found || (std::strncmp(c.name, name, n) == 0 && c.name[n] == '(');
        }
        if (!found) std::printf("%s has no case\n", name);
        if (!found) status = 1;
    }
    return status;
}
