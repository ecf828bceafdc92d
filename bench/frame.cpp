#include "frame.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace bench {
namespace {

struct Rgb {
    double r, g, b;
};

// Hue in turns (0 to 1), saturation and value 0 to 1.
Rgb from_hsv(double hue, double sat, double val) {
    const double h6 = (hue - std::floor(hue)) * 6;
    const int sector = static_cast<int>(h6) % 6;
    const double f = h6 - std::floor(h6);
    const double p = val * (1 - sat), q = val * (1 - sat * f), t = val * (1 - sat * (1 - f));
    switch (sector) {
        case 0: return {val, t, p};
        case 1: return {q, val, p};
        case 2: return {p, val, t};
        case 3: return {p, q, val};
        case 4: return {t, p, val};
        default: return {val, p, q};
    }
}

// A small deterministic generator (xorshift), so frames are the same in
// every run.
struct Noise {
    uint32_t state = 2463534242u;
    uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    double unit() { return next() / 4294967296.0; }
};

uint32_t channel(double v) { return static_cast<uint32_t>(std::clamp(v, 0.0, 255.0)); }

bool in_disc(double x, double y, double cx, double cy, double radius) {
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius;
}

struct Size {
    uint32_t w = 1920, h = 1080;
};

const Size& frame_size() {
    static const Size size = [] {
        Size s;
        const char* text = std::getenv("RURUREV_BENCH_FRAME");
        unsigned w = 0, h = 0;
        if (text != nullptr && std::sscanf(text, "%ux%u", &w, &h) == 2 && w > 0 && h > 0) {
            s = {w, h};
        }
        return s;
    }();
    return size;
}

}  // namespace

uint32_t frame_width() { return frame_size().w; }
uint32_t frame_height() { return frame_size().h; }

std::vector<uint32_t> natural_frame(uint32_t w, uint32_t h) {
    std::vector<uint32_t> frame(size_t{w} * h);
    Noise noise;
    for (uint32_t y = 0; y < h; y++) {
        for (uint32_t x = 0; x < w; x++) {
            const double u = double(x) / w, v = double(y) / h;
            // Background: hue sweeps diagonally, saturation rises downwards,
            // value follows a soft wave and a vignette.
            const double vignette = 1 - 0.6 * ((u - 0.5) * (u - 0.5) + (v - 0.5) * (v - 0.5));
            const double wave = 0.75 + 0.2 * std::sin(6 * u + 3 * v);
            Rgb c = from_hsv(u * 0.9 + v * 0.4, 0.15 + 0.8 * v, vignette * wave);
            // Hard-edged shapes.
            if (u > 0.06 && u < 0.22 && v > 0.1 && v < 0.4) c = {0.5, 0.5, 0.5};  // grey card
            if (in_disc(u, v, 0.7, 0.3, 0.12)) c = from_hsv(0.02, 0.9, 0.85);       // red disc
            if (in_disc(u, v, 0.45, 0.65, 0.09)) c = from_hsv(0.33, 0.7, 0.6);      // green disc
            if (u > 0.8 && v > 0.7) c = {0.06, 0.05, 0.08};                         // shadow
            if (u > 0.3 && u < 0.36 && v > 0.05 && v < 0.95) c = {0.98, 0.97, 0.95};  // highlight
            const double grain = 6;
            uint32_t r = channel(c.r * 255 + (noise.unit() - 0.5) * grain);
            uint32_t g = channel(c.g * 255 + (noise.unit() - 0.5) * grain);
            uint32_t b = channel(c.b * 255 + (noise.unit() - 0.5) * grain);
            // Alpha: a transparent band (about 8%), scattered holes (about
            // 2%) and a soft edge of partial alpha beside the band.
            uint32_t a = 255;
            if (v > 0.85 && v < 0.93) a = 0;
            else if (v >= 0.93 && v < 0.95) a = channel((v - 0.93) / 0.02 * 255);
            if (noise.unit() < 0.02) a = 0;
            frame[size_t{y} * w + x] = a << 24 | r << 16 | g << 8 | b;
        }
    }
    return frame;
}

}  // namespace bench
