// The curve table and the RGB and HSV curves: exact words on kernels fed a
// curve of their own, and the table's setter through Lua.
#include <algorithm>
#include <cmath>
#include <limits>

#include "curve/curve.h"
#include "lua_fixture.h"

namespace {

using rururev::curve_points;
constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

// One word through a filter with a curve that is zero but at `pos`.
template <class Kernel>
uint32_t one(Kernel kernel, uint32_t in, int pos, double moved, int t2, int t3, int sh) {
    double curve[curve_points] = {};
    curve[pos] = moved;
    kernel(&in, 1, curve, t2, t3, sh);
    return in;
}

}  // namespace

TEST(CurveRGB, EachModeMovesItsChannelsByTheirOwnLevels) {
    // Red 10, green 21, blue 40: the averages 23, 15, 25 and 30 are truncated
    // (rounding would read the decoys at 24, 16 and 31).
    double curve[curve_points] = {};
    for (auto [pos, moved] : {std::pair{10, 1}, {21, 2}, {40, 4}, {23, 3}, {15, 5}, {25, 6},
                              {30, 7}, {24, 50}, {16, 50}, {31, 50}})
        curve[pos] = moved;
    const struct { int t3; uint32_t visible, transparent; } cases[] = {
        {0, 0x800B172C, 0x000A1528}, {1, 0x800B1528, 0x000A1528}, {2, 0x800A1728, 0x000A1528},
        {3, 0x800A152C, 0x000A1528}, {4, 0x800B1728, 0x000A1528}, {5, 0x800B152C, 0x000A1528},
        {6, 0x800A172C, 0x000A1528}, {7, 0x830A1528, 0x030A1528}, {8, 0x810A1528, 0x010A1528},
        {9, 0x820A1528, 0x020A1528}, {10, 0x840A1528, 0x040A1528}, {11, 0x850A1528, 0x050A1528},
        {12, 0x860A1528, 0x060A1528}, {13, 0x870A1528, 0x070A1528}, {-1, 0x800A1528, 0x000A1528},
        {14, 0x800A1528, 0x000A1528}, {INT32_MIN, 0x800A1528, 0x000A1528},
    };
    for (const auto& c : cases) {
        uint32_t px[] = {0x800A1528, 0x000A1528};
        rururev::kernel::tovoInterRGB(px, 2, curve, 100, c.t3, 256);
        EXPECT_EQ(px[0], c.visible) << "mode " << c.t3;
        EXPECT_EQ(px[1], c.transparent) << "mode " << c.t3;
    }
}

TEST(CurveRGB, ShiftIsTheFloorOfTheScaledDisplacement) {
    // Red 100 in mode 1; sh 256 gives the ratio 255 / 128 = 1.
    const struct { double moved; int t2, sh; uint32_t red; } cases[] = {
        {-0.5, 100, 256, 99}, {0.5, 100, 256, 100}, {-2.5, 100, 256, 97}, {2.5, 100, 256, 102},
        {-0.1, 100, 256, 99}, {0.9, 100, 256, 100}, {-10, -100, 256, 110}, {-3, 50, 256, 98},
        {-10, 0, 256, 100},
        // Integer ratios: 255 / 100 is 2 (80, not 74); 255 / 256 is 0.
        {-10, 100, 200, 80}, {-10, 100, 257, 90}, {-10, 100, 511, 90}, {-10, 100, 512, 100},
        {-10, 100, -256, 110}, {-0.1, 100, 2, 74}, {-0.1, 100, 3, 74}, {-0.1, 100, 4, 87},
        {-0.1, 100, -3, 125},
        // No valid scale, or a half of sh beyond 255: nothing moves.
        {-10, 100, 1, 100}, {-10, 100, 0, 100}, {-10, 100, -1, 100}, {-10, 100, INT32_MIN, 100},
        // Clamped, never wrapped; huge shifts saturate before they are added.
        {200, 100, 256, 255}, {-200, 100, 256, 0}, {2147483647.0, 100, 256, 255},
        {3e9, 100, 256, 255}, {-3e9, 100, 256, 0}, {inf, 100, 256, 255},
        {-inf, 100, 256, 0}, {not_a_number, 100, 256, 100}, {inf, 0, 256, 100}, {-inf, 100, 0, 100},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(one(rururev::kernel::tovoInterRGB, 0x80640000, 100, c.moved, c.t2, 1, c.sh),
                  0x80000000 | c.red << 16)
            << c.moved << " t2 " << c.t2 << " sh " << c.sh;
    }
    // Alpha clamps too, on a transparent pixel as on any other.
    EXPECT_EQ(one(rururev::kernel::tovoInterRGB, 0xFA640000, 100, 20, 100, 8, 256), 0xFF640000);
    EXPECT_EQ(one(rururev::kernel::tovoInterRGB, 0x00640000, 100, 40, 100, 8, 256), 0x28640000);
    EXPECT_EQ(one(rururev::kernel::tovoInterRGB, 0x0A640000, 100, -20, 100, 8, 256), 0x00640000);
}

TEST(CurveHSV, MovesOneComponentAndAlwaysRoundTrips) {
    const struct { uint32_t in; int pos; double moved; int t3, sh; uint32_t out; } cases[] = {
        // Hue (ratio 360 / 360 = 1): up 20, and down 20 wrapping to 340.
        {0xFFFF0000, 0, 20, 0, 720, 0xFFFF5500}, {0xFFFF0000, 0, -20, 0, 720, 0xFFFF0055},
        {0xFFC80000, 0, 370, 0, 720, 0xFFC82100}, {0xFFC80000, 0, 10, 0, 720, 0xFFC82100},
        // Still negative after one turn: reduced onto the circle (320, 340, 320).
        {0xFFFF0000, 0, -400, 0, 720, 0xFFFF00AA}, {0xFFFF0000, 0, -740, 0, 720, 0xFFFF0055},
        {0xFFFF0000, 0, -395824185999400.0, 0, 720, 0xFFFF00AA},
        // Enormous hues reduce without overflow; infinite ones keep the pixel.
        {0xFF00FF00, 120, 1e300, 0, 720, 0xFFFF0000}, {0xFF00FF00, 120, -1e300, 0, 720, 0xFFFF0000},
        {0xFF00FF00, 120, inf, 0, 720, 0xFF00FF00}, {0xFF00FF00, 120, -inf, 0, 720, 0xFF00FF00},
        // Value and saturation (ratio 1), clamped to 0 to 255; alpha kept.
        {0x7FC86432, 200, -30, 2, 256, 0x7FAA552B}, {0xFFC86432, 200, 100, 2, 256, 0xFFFF8040},
        {0xFFC86432, 200, -300, 2, 256, 0xFF000000}, {0xFFC86432, 200, inf, 2, 256, 0xFFFF8040},
        {0xFFC86432, 191, 100, 1, 256, 0xFFC84300}, {0xFFC86432, 191, -300, 1, 256, 0xFFC8C8C8},
        {0xFFC86432, 191, -inf, 1, 256, 0xFFC8C8C8},
        // Nothing moves, yet the whole-degree hue turns green 101 into 100.
        {0xFFC86532, 200, not_a_number, 2, 256, 0xFFC86432},
        {0xFFC86532, 101, 9, 3, 256, 0xFFC86432}, {0xFFC86532, 200, 9, 2, 0, 0xFFC86432},
        {0x00C86532, 200, -30, 2, 256, 0x00C86532},
        // The ratio's range is 360 for hue and 255 for saturation and value.
        {0xFFFF0000, 0, 20, 0, 512, 0xFFFF5500}, {0xFFFF0000, 0, 20, 0, 721, 0xFFFF5500},
        {0xFFFF0000, 0, 20, 0, 722, 0xFFFF0000}, {0xFFFF0000, 0, 20, 0, 200, 0xFFFFFF00},
        {0xFFFF0000, 0, 20, 0, -720, 0xFFFF0055}, {0xFFFF0000, 0, 20, 0, 1, 0xFFFF0000},
        {0xFFFF0000, 255, -30, 2, 256, 0xFFE10000}, {0xFFFF0000, 255, -30, 2, 512, 0xFFFF0000},
        {0xFFFF0000, 255, -30, 2, 360, 0xFFE10000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(one(rururev::kernel::tovoInterHSV, c.in, c.pos, c.moved, 100, c.t3, c.sh), c.out)
            << std::hex << c.in << std::dec << " at " << c.pos << " by " << c.moved << " mode "
            << c.t3 << " sh " << c.sh;
    }
}

// Every Lua test starts and ends with the process-wide curve at zero.
class CurveTable : public LuaTest {
protected:
    void SetUp() override { clear(); LuaTest::SetUp(); }
    void TearDown() override { LuaTest::TearDown(); clear(); }
    static void clear() {
        std::fill(std::begin(rururev::pointx), std::end(rururev::pointx), 0.0);
        std::fill(std::begin(rururev::pointy), std::end(rururev::pointy), 0.0);
    }
    static bool only(int pos, double x, double y) {
        for (int p = 0; p < curve_points; p++) {
            const bool set = p == pos;
            if (rururev::pointx[p] != (set ? x : 0) || rururev::pointy[p] != (set ? y : 0))
                return false;
        }
        return true;
    }
};

TEST_F(CurveTable, WorkedFiguresThroughLua) {
    std::vector<uint32_t> px = {0x80640000, 0x80630000, 0x00640000};
    set_buffer(px);
    run("librururev.tovoInterRGBset(0, 10, 101) librururev.tovoInterRGB(buf, 3, 1, 100, 1, 256)");
    EXPECT_EQ(px, (std::vector<uint32_t>{0x805A0000, 0x80630000, 0x00640000}));
    px[0] = 0x80640000;
    run("librururev.tovoInterRGBset(0, -10, 101) librururev.tovoInterRGB(buf, 1, 1, 100, 1, 256)");
    EXPECT_EQ(px[0], 0x806E0000u);
    px = {0xFFFF0000};
    run("librururev.tovoInterRGBset(0, -20, 1) librururev.tovoInterHSV(buf, 1, 1, 100, 0, 720)");
    EXPECT_EQ(px[0], 0xFFFF5500u);
}

TEST_F(CurveTable, SetWritesOnePositionNegatingY) {
    const struct { const char* args; int pos; double x, y; } cases[] = {
        {"5, 10, 1", 0, 5, -10}, {"7, -3, 361", 360, 7, 3}, {"1, 2, 2.9", 1, 1, -2},
        {"'4', '8', '50'", 49, 4, -8}, {"{}, 1/0, 10", 9, 0, -inf},
    };
    for (const auto& c : cases) {
        clear();
        run(std::string("assert(select('#', librururev.tovoInterRGBset(") + c.args + ")) == 0)");
        EXPECT_TRUE(only(c.pos, c.x, c.y)) << c.args;
    }
}

TEST_F(CurveTable, PositionOutsideTheTableRaisesAndWritesNothing) {
    for (const char* args : {"5, 10, 0", "5, 10, 362", "5, 10, -1", "5, 10, 0.9", "5, 10, 1e10",
                             "5, 10, -1e10", "5, 10, 0/0", "5, 10, 'x'", "5, 10"}) {
        const std::string call = std::string("librururev.tovoInterRGBset(") + args + ")";
        EXPECT_EQ(try_run(call), "[string \"" + call + "\"]:1: bad argument #3 to "
                                 "'tovoInterRGBset' (curve position must be 1 to 361)");
        EXPECT_TRUE(only(-1, 0, 0)) << args;
    }
}
