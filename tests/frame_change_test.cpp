// Frame change marking across sequences of calls, the frame store, and the
// filter through Lua.
#include "lua_fixture.h"
#include "region/frame_store.h"
#include "filters/filter_functions.h"

namespace {

const uint32_t kOc = 0xAB112233;   // marker colour; its alpha byte plays no part
const uint32_t kMark = 0x112233;   // what a marked pixel takes, alpha kept
const uint32_t kCyan = 0x00FFFF;

// Greys whose Y is exactly 72, 86 and 100.
const uint32_t kGrey72 = 0xFF484848, kGrey86 = 0xFF565656, kGrey100 = 0xFF646464;

struct Frame {
    std::vector<uint32_t> in;
    int32_t t1, t2, t3, nn;
    bool chk0;
    std::vector<uint32_t> out;
};

struct Sequence {
    const char* what;
    std::vector<Frame> frames;
};

const Sequence sequences[] = {
    {"first frame with chk0: every pixel unchanged, alpha kept",
     {{{kGrey100, 0x80123456, 0x00ABCDEF, 0x01000000}, 1, 1, 1, 1, true,
       {0xFF00FFFF, 0x8000FFFF, 0x0000FFFF, 0x0100FFFF}}}},
    {"first frame without chk0: nothing changes",
     {{{kGrey100, 0x80123456, 0x00ABCDEF, 0x01000000}, 1, 1, 1, 1, false,
       {kGrey100, 0x80123456, 0x00ABCDEF, 0x01000000}}}},
    {"tolerance 0 on Y marks every grid pixel, transparent ones too",
     {{{kGrey100, 0x80123456, 0x00ABCDEF, 0x01000000}, 0, 1, 1, 2, true,
       {0xFF000000 | kMark, 0x80123456, kMark, 0x01000000}}}},
    {"negative tolerance on Cb",
     {{{kGrey100, 0x80123456}, 1, -1, 1, 1, false, {0xFF000000 | kMark, 0x80000000 | kMark}}}},
    {"tolerance 0 on Cr",
     {{{kGrey100, 0x80123456}, 1, 1, 0, 1, false, {0xFF000000 | kMark, 0x80000000 | kMark}}}},
    {"unchanged and changed pixels on and off the grid",
     {{{kGrey100, kGrey100, kGrey100, kGrey100}, 1, 1, 1, 2, false,
       {kGrey100, kGrey100, kGrey100, kGrey100}},
      {{kGrey100, 0xFF0000FF, 0xFF0000FF, kGrey100}, 1, 1, 1, 2, true,
       {0xFF00FFFF, 0xFF0000FF, 0xFF000000 | kMark, kGrey100}}}},
    {"marks are stored and compared next call",
     {{{kGrey100, 0xFF00FFFF}, 1, 1, 1, 1, true, {0xFF00FFFF, 0xFF00FFFF}},
      {{kGrey100, 0xFF00FFFF}, 1, 1, 1, 1, false, {0xFF000000 | kMark, 0xFF00FFFF}},
      {{kGrey100, 0xFF00FFFF}, 1, 1, 1, 1, true, {0xFF000000 | kMark, 0xFF00FFFF}},
      {{0x7F112233, 0xFF00FFFF}, 1, 1, 1, 1, true, {0x7F00FFFF, 0xFF00FFFF}}}},
    {"a stored 0 is refilled from the current pixel",
     {{{0x00000000, 0x00000000}, 1, 1, 1, 1, false, {0x00000000, 0x00000000}},
      {{kGrey100, 0x80123456}, 1, 1, 1, 1, true, {0xFF00FFFF, 0x8000FFFF}}}},
    {"a stored transparent colour is not empty and its alpha plays no part",
     {{{0x00646464, 0x00010000}, 1, 1, 1, 1, false, {0x00646464, 0x00010000}},
      {{kGrey100, 0xFF0000FF}, 1, 1, 1, 1, true, {0xFF00FFFF, 0xFF000000 | kMark}}}},
    {"upper bound exclusive, lower bound inclusive",
     {{{kGrey100, kGrey72, kGrey86}, 1, 1, 1, 1, false, {kGrey100, kGrey72, kGrey86}},
      {{kGrey86, kGrey86, kGrey86}, 14, 1, 1, 1, true, {0xFF000000 | kMark, 0xFF00FFFF, 0xFF00FFFF}}}},
    {"one more unit of tolerance takes the upper bound in",
     {{{kGrey100}, 1, 1, 1, 1, false, {kGrey100}},
      {{kGrey86}, 15, 1, 1, 1, true, {0xFF00FFFF}}}},
    // (0, 0, 6) has Y 0.684, which the stored side rounds to 1: against black
    // with t1 of 1 that is just out, though 0.684 itself would be in.
    {"stored components are rounded",
     {{{0xFF000006, 0xFF000006}, 1, 1, 1, 1, false, {0xFF000006, 0xFF000006}},
      {{0xFF000000, 0xFF000000}, 1, 4, 1, 2, true, {0xFF000000 | kMark, 0xFF000000}},
      {{0xFF000006}, 0, 0, 0, 0, false, {0xFF000006}}}},
    {"nn of 1: every pixel on the grid",
     {{{1, 2, 3, 4, 5, 6}, 0, 0, 0, 1, false, {kMark, kMark, kMark, kMark, kMark, kMark}}}},
    {"nn equal to w (3 x 2): the first column",
     {{{1, 2, 3, 4, 5, 6}, 0, 0, 0, 3, false, {kMark, 2, 3, kMark, 5, 6}}}},
    {"nn of -1: index 0 alone",
     {{{1, 2, 3, 4, 5, 6}, 0, 0, 0, -1, false, {kMark, 2, 3, 4, 5, 6}}}},
    {"nn of 0: no grid, store still updated",
     {{{1, 2, 3, 4, 5, 6}, 0, 0, 0, 0, true, {1, 2, 3, 4, 5, 6}},
      {{1, 2, 3, 4, 5, 6}, 1, 1, 1, 1, true, {kCyan, kCyan, kCyan, kCyan, kCyan, kCyan}}}},
};

}  // namespace

TEST(FrameChangeKernel, SequencesOfFrames) {
    for (const auto& s : sequences) {
        std::vector<uint32_t> store(s.frames[0].in.size(), 0);
        for (size_t n = 0; n < s.frames.size(); n++) {
            const Frame& f = s.frames[n];
            std::vector<uint32_t> data = f.in;
            // The kernel reads and writes the first count entries only.
            rururev::kernel::tovoFrameCBA(data.data(), static_cast<uint32_t>(data.size()),
                                          store.data(), f.t1, f.t2, f.t3, f.nn, kOc, f.chk0);
            EXPECT_EQ(data, f.out) << s.what << ", frame " << n;
            EXPECT_TRUE(std::equal(data.begin(), data.end(), store.begin()))
                << s.what << ", frame " << n << ": the store holds what was written";
        }
    }
}

namespace {

uint32_t* no_memory(uint32_t) { return nullptr; }

}  // namespace

class FrameChangeFilter : public LuaTest {
protected:
    void SetUp() override {
        LuaTest::SetUp();
        rururev::frame_store().release();  // the store is process-wide
    }
    void TearDown() override {
        rururev::frame_store().set_allocator(rururev::FrameStore::zeroed_block);
        LuaTest::TearDown();
    }
    // Runs one call on `in` with tolerances of 1, nn of 1, oc kOc; returns the frame.
    std::vector<uint32_t> call(std::vector<uint32_t> in, const char* size, bool chk0) {
        set_buffer(in);
        run(std::string("librururev.tovoFrameCBA(buf, ") + size + ", 0, 1, 1, 1, 1, " +
            std::to_string(kOc) + (chk0 ? ", true)" : ", false)"));
        return in;
    }
};

TEST_F(FrameChangeFilter, ArgumentsInOrder) {
    // t0 (argument 4) plays no part; t1 to t3 are arguments 5 to 7, nn 8,
    // oc 9 (a full word with alpha 255) and chk0 10 (0 is true).
    std::vector<uint32_t> px = {kGrey100, kGrey100, kGrey100, kGrey100};
    set_buffer(px);
    run("librururev.tovoFrameCBA(buf, 2, 2, -5, 1, 1, 1, 3, 0xFF0000FF, 0)");
    EXPECT_EQ(px, (std::vector<uint32_t>{0xFF00FFFF, kGrey100, kGrey100, 0xFF00FFFF}));
    px = {kGrey100, kGrey100, kGrey100, kGrey100};
    run("librururev.tovoFrameCBA(buf, 4, 1, 9, 1, 1, 1, 3, 0xFF0000FF)");
    EXPECT_EQ(px, (std::vector<uint32_t>{0xFF0000FF, kGrey100, kGrey100, 0xFF0000FF}));
}

TEST_F(FrameChangeFilter, ChangeOfSizeStartsAFreshFrame) {
    const std::vector<uint32_t> a = {kGrey100, kGrey72, kGrey86, 0x80123456};
    const std::vector<uint32_t> b = {kGrey72, kGrey72, kGrey100, 0x80123456};
    const uint32_t mark = 0xFF000000 | kMark, cyan = 0xFF00FFFF;
    EXPECT_EQ(call(a, "2, 2", false), a);
    EXPECT_EQ(call(b, "2, 2", false), (std::vector<uint32_t>{mark, kGrey72, mark, 0x80123456}));
    // Three pixels: an empty store, so a first frame.
    EXPECT_EQ(call({kGrey86, kGrey100, kGrey72}, "3, 1", true),
              (std::vector<uint32_t>{cyan, cyan, cyan}));
    // Back to four: emptied again, whatever the four-pixel frame was.
    EXPECT_EQ(call(a, "2, 2", true), (std::vector<uint32_t>{cyan, cyan, cyan, 0x8000FFFF}));
    // Same count, other shape: the store is kept and compared index by index.
    EXPECT_EQ(call(b, "4, 1", false), (std::vector<uint32_t>{mark, mark, mark, 0x80000000 | kMark}));
}

TEST_F(FrameChangeFilter, CallWithoutPixelsLeavesTheStore) {
    EXPECT_EQ(call({kGrey100, kGrey72}, "2, 1", false), (std::vector<uint32_t>{kGrey100, kGrey72}));
    run("librururev.tovoFrameCBA(nil, 0, 0, 0, 1, 1, 1, 1, 0, true)");
    EXPECT_EQ(call({kGrey100, kGrey100}, "2, 1", true),
              (std::vector<uint32_t>{0xFF00FFFF, 0xFF000000 | kMark}));
}

TEST_F(FrameChangeFilter, NoMemoryRaisesBeforeTouchingAnything) {
    EXPECT_EQ(call({kGrey100, kGrey72}, "2, 1", false), (std::vector<uint32_t>{kGrey100, kGrey72}));
    rururev::frame_store().set_allocator(no_memory);
    std::vector<uint32_t> px = {kGrey86, kGrey86, kGrey86};
    set_buffer(px);
    const std::string error = try_run("librururev.tovoFrameCBA(buf, 3, 1, 0, 1, 1, 1, 1, 0, true)");
    EXPECT_NE(error.find("not enough memory"), std::string::npos) << error;
    EXPECT_EQ(px, (std::vector<uint32_t>{kGrey86, kGrey86, kGrey86}));
    // The two-pixel frame is still there to compare with.
    EXPECT_EQ(call({kGrey100, kGrey100}, "2, 1", true),
              (std::vector<uint32_t>{0xFF00FFFF, 0xFF000000 | kMark}));
}
