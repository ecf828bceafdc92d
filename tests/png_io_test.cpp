// PNG loading and saving: every colour type and bit depth, damaged files,
// and saves that fail without losing the file they would replace.
#include <csignal>
#include <cstring>

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "image/png_io.h"
#include "image/raster_load.h"
#include "scratch.h"

using rururev::image::load_png;
using rururev::image::PhotoMeta;
using rururev::image::Raster;
using rururev::image::save_png;

namespace {

// A PNG file as libpng writes it, described sample by sample: `samples`
// holds each pixel's channels in file order (grey; grey, alpha; red, green,
// blue; red, green, blue, alpha; or a palette index) at the file's depth.
struct PngFile {
    uint32_t width = 4, height = 1;
    int color_type = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    std::vector<uint16_t> samples;
    std::vector<png_color> palette;
    std::vector<png_byte> palette_alpha;  // tRNS of a palette file
    bool key = false;                     // tRNS of a grey or RGB file
    png_color_16 key_colour{};
    bool interlaced = false;
    std::string exif;  // an eXIf chunk before the image data
};

int channels_of(int color_type) {
    switch (color_type) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
    }
}

// Packs one row of samples as the file stores it: several samples a byte
// below 8 bits (leftmost first), big-endian pairs at 16.
std::vector<png_byte> pack_row(const PngFile& f, uint32_t y) {
    const int n = channels_of(f.color_type);
    const size_t per_row = size_t{f.width} * n;
    std::vector<png_byte> row((per_row * f.depth + 7) / 8, 0);
    for (size_t k = 0; k < per_row; ++k) {
        const uint16_t v = f.samples[y * per_row + k];
        if (f.depth == 16) {
            row[2 * k] = static_cast<png_byte>(v >> 8);
            row[2 * k + 1] = static_cast<png_byte>(v);
        } else {
            const size_t bit = k * f.depth;
            row[bit / 8] |= static_cast<png_byte>(v << (8 - f.depth - bit % 8));
        }
    }
    return row;
}

void write_png(const std::string& path, const PngFile& f) {
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, out);
    png_set_IHDR(png, info, f.width, f.height, f.depth, f.color_type,
                 f.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!f.palette.empty()) png_set_PLTE(png, info, f.palette.data(), static_cast<int>(f.palette.size()));
    if (!f.palette_alpha.empty()) {
        png_set_tRNS(png, info, f.palette_alpha.data(), static_cast<int>(f.palette_alpha.size()), nullptr);
    }
    if (f.key) png_set_tRNS(png, info, nullptr, 0, const_cast<png_color_16*>(&f.key_colour));
    if (!f.exif.empty()) png_set_eXIf_1(png, info, f.exif.size(), reinterpret_cast<png_bytep>(const_cast<char*>(f.exif.data())));
    png_write_info(png, info);
    const int passes = f.interlaced ? png_set_interlace_handling(png) : 1;
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < f.height; ++y) png_write_row(png, pack_row(f, y).data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(out);
}

struct LoadCase {
    const char* name;
    PngFile file;
    std::vector<uint32_t> words;
};

PngFile grey(int depth, std::vector<uint16_t> s) {
    PngFile f;
    f.color_type = PNG_COLOR_TYPE_GRAY;
    f.depth = depth;
    f.samples = std::move(s);
    return f;
}

PngFile typed(int color_type, int depth, std::vector<uint16_t> s) {
    PngFile f = grey(depth, std::move(s));
    f.color_type = color_type;
    return f;
}

PngFile with_key(PngFile f, uint16_t grey_or_red, uint16_t green = 0, uint16_t blue = 0) {
    f.key = true;
    f.key_colour.gray = grey_or_red;
    f.key_colour.red = grey_or_red;
    f.key_colour.green = green;
    f.key_colour.blue = blue;
    return f;
}

PngFile paletted(int depth, std::vector<uint16_t> s, std::vector<png_byte> alpha = {}) {
    PngFile f = typed(PNG_COLOR_TYPE_PALETTE, depth, std::move(s));
    f.palette = {{10, 20, 30}, {200, 100, 0}, {0, 255, 64}, {255, 255, 255}};
    f.palette.resize(std::min<size_t>(f.palette.size(), size_t{1} << depth));
    f.palette_alpha = std::move(alpha);
    return f;
}

const LoadCase load_cases[] = {
    {"grey 1-bit", grey(1, {0, 1, 1, 0}), {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000}},
    {"grey 2-bit", grey(2, {0, 1, 2, 3}), {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}},
    {"grey 4-bit", grey(4, {0, 5, 10, 15}), {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}},
    {"grey 8-bit", grey(8, {0, 18, 200, 255}), {0xFF000000, 0xFF121212, 0xFFC8C8C8, 0xFFFFFFFF}},
    // Sixteen bits are scaled with rounding, not cut to their high byte:
    // 0x12FF is 18.92 in 8 bits and reads as 19.
    {"grey 16-bit", grey(16, {0x0000, 0x12FF, 0x7F80, 0xFFFF}),
     {0xFF000000, 0xFF131313, 0xFF7F7F7F, 0xFFFFFFFF}},
    {"grey 8-bit keyed", with_key(grey(8, {0, 18, 200, 18}), 18),
     {0xFF000000, 0x00121212, 0xFFC8C8C8, 0x00121212}},
    {"grey 2-bit keyed", with_key(grey(2, {0, 1, 2, 3}), 2),
     {0xFF000000, 0xFF555555, 0x00AAAAAA, 0xFFFFFFFF}},
    {"grey+alpha 8-bit", typed(PNG_COLOR_TYPE_GRAY_ALPHA, 8, {10, 0, 20, 128, 30, 255, 40, 1}),
     {0x000A0A0A, 0x80141414, 0xFF1E1E1E, 0x01282828}},
    {"grey+alpha 16-bit",
     typed(PNG_COLOR_TYPE_GRAY_ALPHA, 16, {0x12FF, 0xFFFF, 0xFFFF, 0, 0x0100, 0x8000, 0, 0x12FF}),
     {0xFF131313, 0x00FFFFFF, 0x80010101, 0x13000000}},
    {"RGB 8-bit", typed(PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 255, 0, 128, 0, 0, 0, 9, 8, 7}),
     {0xFF010203, 0xFFFF0080, 0xFF000000, 0xFF090807}},
    {"RGB 16-bit",
     typed(PNG_COLOR_TYPE_RGB, 16, {0x12FF, 0x0100, 0xFFFF, 0, 0, 0, 0x8000, 0x7F80, 0x00FF, 1, 2, 3}),
     {0xFF1301FF, 0xFF000000, 0xFF807F01, 0xFF000000}},
    {"RGB 8-bit keyed",
     with_key(typed(PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 255, 0, 128, 255, 0, 127, 9, 8, 7}), 255, 0, 128),
     {0xFF010203, 0x00FF0080, 0xFFFF007F, 0xFF090807}},
    // Straight alpha: a transparent pixel keeps its colour.
    {"RGBA 8-bit",
     typed(PNG_COLOR_TYPE_RGB_ALPHA, 8, {1, 2, 3, 0, 255, 0, 128, 255, 10, 20, 30, 128, 0, 0, 0, 0}),
     {0x00010203, 0xFFFF0080, 0x800A141E, 0x00000000}},
    {"RGBA 16-bit",
     typed(PNG_COLOR_TYPE_RGB_ALPHA, 16,
           {0x12FF, 0, 0xFFFF, 0x8000, 0, 0, 0, 0, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 1, 2, 3, 0x12FF}),
     {0x801300FF, 0x00000000, 0xFFFFFFFF, 0x13000000}},
    {"palette 1-bit", paletted(1, {0, 1, 1, 0}), {0xFF0A141E, 0xFFC86400, 0xFFC86400, 0xFF0A141E}},
    {"palette 2-bit", paletted(2, {3, 2, 1, 0}), {0xFFFFFFFF, 0xFF00FF40, 0xFFC86400, 0xFF0A141E}},
    {"palette 4-bit", paletted(4, {2, 2, 3, 1}), {0xFF00FF40, 0xFF00FF40, 0xFFFFFFFF, 0xFFC86400}},
    // Entries past the end of tRNS are opaque.
    {"palette 8-bit with alpha", paletted(8, {0, 1, 2, 3}, {0, 128}),
     {0x000A141E, 0x80C86400, 0xFF00FF40, 0xFFFFFFFF}},
};

TEST(PngLoad, EveryColourTypeAndDepthGivesStraightAlphaWords) {
    ScratchDir dir;
    for (const LoadCase& c : load_cases) {
        const std::string path = dir / "in.png";
        write_png(path, c.file);
        Raster picture;
        std::string error;
        ASSERT_TRUE(load_png(path, picture, error)) << c.name << ": " << error;
        EXPECT_EQ(picture.width, 4u) << c.name;
        EXPECT_EQ(picture.height, 1u) << c.name;
        EXPECT_EQ(picture.words, c.words) << c.name;
    }
}

// An interlaced file arrives in seven passes; every pixel must land once, turned right by EXIF at (6 - y, x).
TEST(PngLoad, InterlacedFilesAreAssembledFromAllPasses) {
    const std::string turned_right("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
    for (const auto& [depth, exif] : {std::pair{8, std::string()}, {16, std::string()}, {8, turned_right}}) {
        PngFile f = typed(PNG_COLOR_TYPE_RGB_ALPHA, depth, {});
        f.width = 11;
        f.height = 7;
        f.interlaced = true;
        f.exif = exif;
        std::vector<uint32_t> expected(f.width * f.height);
        for (uint32_t i = 0; i < f.width * f.height; ++i) {
            const uint16_t r = static_cast<uint16_t>(i * 3), g = static_cast<uint16_t>(255 - i),
                           b = static_cast<uint16_t>(i * 7 % 256), a = static_cast<uint16_t>(i % 2 ? 255 : i);
            for (uint16_t v : {r, g, b, a}) f.samples.push_back(depth == 16 ? v * 257 : v);
            expected[exif.empty() ? i : i % 11 * 7 + 6 - i / 11] = uint32_t{a} << 24 | uint32_t{r} << 16 | uint32_t{g} << 8 | b;
        }
        ScratchDir dir;
        write_png(dir / "adam7.png", f);
        Raster picture;
        std::string error;
        ASSERT_TRUE(load_png(dir / "adam7.png", picture, error)) << error;
        EXPECT_EQ(picture.width, exif.empty() ? 11u : 7u) << depth << "-bit";
        EXPECT_EQ(picture.words, expected) << depth << "-bit" << (exif.empty() ? "" : ", turned");
    }
}

// Each picture is written in the smallest colour type that keeps its words,
// at every level, and loads back as the same words.
struct SaveCase {
    const char* name;
    std::vector<uint32_t> words;  // 3 x 2
    int color_type;
    std::vector<png_byte> first_row;  // in file order
};

const SaveCase save_cases[] = {
    {"RGBA", {0x00000000, 0x00FFFFFF, 0x7F102030, 0xFF000000, 0x01FEFDFC, 0x80808080},
     PNG_COLOR_TYPE_RGB_ALPHA, {0, 0, 0, 0, 255, 255, 255, 0, 0x10, 0x20, 0x30, 0x7F}},
    // Mostly repeated pixels: coded as graphics.
    {"RGB", {0xFF102030, 0xFF102030, 0xFF102030, 0xFFFEFDFC, 0xFFFEFDFC, 0xFF808081},
     PNG_COLOR_TYPE_RGB, {0x10, 0x20, 0x30, 0x10, 0x20, 0x30, 0x10, 0x20, 0x30}},
    {"grey", {0xFF000000, 0xFFFFFFFF, 0xFF7F7F7F, 0xFF010101, 0xFF010101, 0xFF808080},
     PNG_COLOR_TYPE_GRAY, {0, 255, 0x7F}},
    // One word away from the smaller types: blue alone off grey, alpha 254.
    {"RGB, blue off grey", {0xFF808081, 0xFF000000, 0xFFFFFFFF, 0xFF010101, 0xFF7F7F7F, 0xFF808080},
     PNG_COLOR_TYPE_RGB, {0x80, 0x80, 0x81, 0, 0, 0, 255, 255, 255}},
    {"RGBA, alpha 254", {0xFE102030, 0xFF102030, 0xFFFFFFFF, 0xFF010101, 0xFF7F7F7F, 0xFF808080},
     PNG_COLOR_TYPE_RGB_ALPHA, {0x10, 0x20, 0x30, 0xFE, 0x10, 0x20, 0x30, 0xFF, 255, 255, 255, 255}},
    {"grey and alpha", {0x00000000, 0x80FFFFFF, 0xFE7F7F7F, 0xFF010101, 0x01010101, 0xFF808080},
     PNG_COLOR_TYPE_GRAY_ALPHA, {0, 0, 255, 0x80, 0x7F, 0xFE}},
};

TEST(PngSave, WritesTheSmallestColourTypeThatLoadsBackExactly) {
    ScratchDir dir;
    for (const SaveCase& c : save_cases) {
        for (int level : {0, 1, 9}) {
            const std::string name = std::string(c.name) + " level " + std::to_string(level);
            Raster picture;
            picture.width = 3;
            picture.height = 2;
            picture.words = c.words;
            std::string error;
            ASSERT_TRUE(save_png(dir / "out.png", picture, error, level)) << name << ": " << error;

            FILE* f = std::fopen((dir / "out.png").c_str(), "rb");
            png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
            png_infop info = png_create_info_struct(png);
            png_init_io(png, f);
            png_read_info(png, info);
            EXPECT_EQ(png_get_color_type(png, info), c.color_type) << name;
            EXPECT_EQ(png_get_bit_depth(png, info), 8) << name;
            std::vector<png_byte> row(png_get_rowbytes(png, info));
            png_read_row(png, row.data(), nullptr);
            EXPECT_EQ(row, c.first_row) << name;
            png_destroy_read_struct(&png, &info, nullptr);
            std::fclose(f);

            Raster back;
            ASSERT_TRUE(load_png(dir / "out.png", back, error)) << name << ": " << error;
            EXPECT_EQ(back.words, picture.words) << name;
            EXPECT_EQ(dir.names(), std::vector<std::string>{"out.png"});  // no temporary file left
        }
    }
}

}  // namespace

// The bytes of a valid 4 x 2 RGBA file, to damage.
std::string valid_png_bytes() {
    ScratchDir dir;
    Raster picture;
    picture.width = 4;
    picture.height = 2;
    for (uint32_t i = 0; i < 8; ++i) picture.words.push_back(0xFF000000 | i * 0x010203);
    std::string error;
    save_png(dir / "ok.png", picture, error);
    return read_file(dir / "ok.png");
}

void put_be32(std::string& bytes, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<char>(v >> (24 - 8 * k));
}

// Rewrites the IHDR size and its CRC, as a file that lies about its size.
std::string with_size(std::string bytes, uint32_t width, uint32_t height) {
    put_be32(bytes, 16, width);
    put_be32(bytes, 20, height);
    const auto* chunk = reinterpret_cast<const Bytef*>(bytes.data() + 12);
    put_be32(bytes, 29, static_cast<uint32_t>(crc32(0, chunk, 17)));
    return bytes;
}

namespace {

size_t idat_offset(const std::string& bytes) { return bytes.find("IDAT") - 4; }

struct DamageCase {
    const char* name;
    std::string bytes;
    const char* reason;
};

TEST(PngLoad, DamagedFilesAreRejectedWithTheFileAndTheReason) {
    const std::string good = valid_png_bytes();
    const size_t idat = idat_offset(good);
    const uint32_t idat_length = static_cast<uint32_t>(static_cast<unsigned char>(good[idat + 2]) << 8 |
                                                       static_cast<unsigned char>(good[idat + 3]));
    std::string bad_ihdr_crc = good, bad_idat_crc = good, bad_zlib = good;
    bad_ihdr_crc[30] ^= 1;
    bad_idat_crc[idat + 8 + idat_length + 3] ^= 1;
    bad_zlib[idat + 8] ^= 0x40;
    const DamageCase cases[] = {
        {"empty file", "", "not a PNG file"},
        {"text", "hello, this is not a picture\n", "not a PNG file"},
        {"signature only", good.substr(0, 8), "truncated PNG file"},
        {"cut inside the header", good.substr(0, 20), "truncated PNG file"},
        {"cut inside the image data", good.substr(0, idat + 12), "truncated PNG file"},
        {"no end chunk", good.substr(0, good.size() - 12), "truncated PNG file"},
        {"header CRC", bad_ihdr_crc, "IHDR: CRC error"},
        {"image data CRC", bad_idat_crc, "IDAT: CRC error"},
        {"compressed data", bad_zlib, "IDAT: incorrect header check"},
        {"over the pixel limit", with_size(good, 70000, 70000),
         "70000 x 70000 pixels is more than the limit of 268435456"},
        {"largest header", with_size(good, 0x7FFFFFFF, 0x7FFFFFFF),
         "2147483647 x 2147483647 pixels is more than the limit of 268435456"},
        {"one pixel over", with_size(good, 16385, 16384),
         "16385 x 16384 pixels is more than the limit of 268435456"},
        {"header larger than the file", with_size(good, 16384, 16384),
         "the header claims 16384 x 16384 pixels, more than the file can hold"},
        {"zero width", with_size(good, 0, 2), "Invalid IHDR data"},
        {"short image data", with_size(good, 4, 3), "Not enough image data"},
    };
    ScratchDir dir;
    for (const DamageCase& c : cases) {
        const std::string path = dir / "bad.png";
        write_file(path, c.bytes);
        Raster picture;
        std::string error;
        EXPECT_FALSE(load_png(path, picture, error)) << c.name;
        EXPECT_NE(error.find("cannot load '" + path + "': "), std::string::npos) << c.name << ": " << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    }
}

TEST(PngLoad, PathsThatAreNoFileAreRejected) {
    ScratchDir dir;
    const struct { std::string path; const char* reason; } cases[] = {
        {dir / "missing.png", "No such file or directory"},
        {dir.path(), "Is a directory"},
    };
    for (const auto& c : cases) {
        Raster picture;
        std::string error;
        EXPECT_FALSE(load_png(c.path, picture, error));
        EXPECT_EQ(error, "cannot load '" + c.path + "': " + c.reason);
    }
}

TEST(PngSave, FailuresLeaveNoFileBehind) {
    ScratchDir dir;
    Raster one;
    one.width = one.height = 1;
    one.words = {0xFF112233};
    Raster empty;
    const struct { std::string path; const Raster* picture; const char* reason; int level; } cases[] = {
        {dir / "no/such/folder.png", &one, "does not exist", 1},
        {dir.path(), &one, "Is a directory", 1},
        {dir / "empty.png", &empty, "cannot write a picture of 0 x 0 pixels", 1},
        {dir / "level.png", &one, "the level 10 is not from 0 to 9", 10},
        {dir / "level.png", &one, "the level -1 is not from 0 to 9", -1},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(save_png(c.path, *c.picture, error, c.level)) << c.path;
        EXPECT_NE(error.find("cannot save '" + c.path + "': "), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_TRUE(dir.names().empty()) << c.path;
    }
}

// Saving through a symbolic link replaces the file it points to and keeps
// the link; a replaced file keeps its permissions.
TEST(PngSave, ReplacesTheLinkedFileAndKeepsItsMode) {
    ScratchDir dir;
    write_file(dir / "real.png", "old");
    chmod((dir / "real.png").c_str(), 0640);
    ASSERT_EQ(symlink("real.png", (dir / "link.png").c_str()), 0);
    Raster one;
    one.width = one.height = 1;
    one.words = {0xFF112233};
    std::string error;
    ASSERT_TRUE(save_png(dir / "link.png", one, error)) << error;
    struct stat link_st, real_st;
    ASSERT_EQ(lstat((dir / "link.png").c_str(), &link_st), 0);
    ASSERT_EQ(stat((dir / "real.png").c_str(), &real_st), 0);
    EXPECT_TRUE(S_ISLNK(link_st.st_mode));
    EXPECT_EQ(real_st.st_mode & 07777, 0640u);
    Raster back;
    ASSERT_TRUE(load_png(dir / "real.png", back, error)) << error;
    EXPECT_EQ(back.words, one.words);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"link.png", "real.png"}));
}

// A disk that fills up during a save, played by a file-size limit: in the
// middle, or at the last buffered block, written as the save commits. The
// old file stays as it was and no temporary file is left.
TEST(PngSave, AWriteThatFailsKeepsTheOldFile) {
    Raster big, one;
    big.width = big.height = 256;
    for (uint32_t i = 0; i < 65536; ++i) big.words.push_back(i * 2654435761u);  // incompressible
    one.width = one.height = 1;
    one.words = {0xFF112233};
    for (const auto& [picture, limit] : {std::pair{&big, 4096}, {&one, 16}}) {
        ScratchDir dir;
        const std::string path = dir / "keep.png";
        write_file(path, "the old picture");
        rlimit saved;
        getrlimit(RLIMIT_FSIZE, &saved);
        auto* old_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &small);
        std::string error;
        const bool saved_ok = save_png(path, *picture, error);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, old_handler);

        EXPECT_FALSE(saved_ok) << limit;
        EXPECT_NE(error.find("File too large"), std::string::npos) << error;
        EXPECT_EQ(read_file(path), "the old picture") << limit;
        EXPECT_EQ(dir.names(), std::vector<std::string>{"keep.png"}) << limit;
    }
}

// A loader's failing step gives its own reason; keeping the metadata fails
// only for want of memory. Played by a reader whose step named by the path fails.
TEST(PngLoad, AFailingStepGivesItsOwnReason) {
    using Fake = std::string;
    for (const auto& [step, reason] : {std::pair{"pixels", "the pixels failed"},
                                       {"metadata", "cannot load 'metadata': out of memory"}, {"none", ""}}) {
        Raster picture;
        std::string error;
        const bool ok = rururev::image::load_raster<Fake>(
            step, picture, error, [](const char* path, uint32_t* w, uint32_t* h, char*, size_t) { *w = *h = 1; return new Fake(path); },
            [](Fake* f, uint32_t*, char* e, size_t n) { return *f != "pixels" || !std::snprintf(e, n, "the pixels failed"); },
            [](Fake* f) { delete f; }, [](Fake* f, PhotoMeta&) { return *f != "metadata"; });
        EXPECT_EQ(ok, *reason == '\0') << step;
        EXPECT_EQ(error, reason) << step;
    }
}

}  // namespace
