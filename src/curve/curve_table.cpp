// The module-wide curve table and the one way to write it.
#include "curve/curve.h"

namespace rururev {

double pointx[curve_points];
double pointy[curve_points];

}  // namespace rururev

namespace rururev::kernel {

bool tovoInterRGBset(double x, double y, int32_t idx) {
    if (idx < 1 || idx > curve_points) return false;
    pointx[idx - 1] = x;
    pointy[idx - 1] = -y;
    return true;
}

}  // namespace rururev::kernel
