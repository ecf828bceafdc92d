// The double-precision HSV pair.
#include <algorithm>
#include <cmath>

#include "core/pixel.h"

namespace rururev {

void RGB2HSV(int r, int g, int b, double* H, double* S, double* V) {
    const double cmax = std::max({r, g, b});
    const double cmin = std::min({r, g, b});
    if (cmax == cmin) {
        *H = 0;
    } else if (r == cmax) {
        // Truncated after adding 360, so it rounds down; then wrapped.
        *H = static_cast<int>(60 * (g - b) / (cmax - cmin) + 360.0) % 360;
    } else if (g == cmax) {
        *H = static_cast<int>(60 * (b - r) / (cmax - cmin)) + 120;
    } else {
        *H = static_cast<int>(60 * (r - g) / (cmax - cmin)) + 240;
    }
    *S = cmax == 0 ? 0 : exact_round((cmax - cmin) / cmax * 255.0);
    *V = cmax;
}

void HSV2RGB(double H, double S, double V, int* R, int* G, int* B) {
    const double sector = exact_floor(H / 60.0);
    if (!std::isfinite(sector)) return;
    // Keeps the dividend's sign, like % on the integer.
    const int ii = sector_mod6(sector);
    if (ii < 0) return;
    const double f = H / 60.0 - sector;
    const double s = S / 255.0;
    const int p = round_to_int((1 - s) * V);
    const int q = round_to_int((1 - s * f) * V);
    const int t = round_to_int((1 - s * (1 - f)) * V);
    const int v = trunc_to_int(V);
    switch (ii) {
        case 0: *R = v; *G = t; *B = p; break;
        case 1: *R = q; *G = v; *B = p; break;
        case 2: *R = p; *G = v; *B = t; break;
        case 3: *R = p; *G = q; *B = v; break;
        case 4: *R = t; *G = p; *B = v; break;
        default: *R = v; *G = p; *B = q; break;
    }
}

}  // namespace rururev
