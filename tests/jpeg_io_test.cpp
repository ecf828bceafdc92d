// JPEG and turned PNG round trips and damaged JPEG files through the picture files.
#include <cstdio>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "image/picture_file.h"
#include "image/png_io.h"
#include "scratch.h"

using rururev::image::Raster;
using rururev::image::load_picture;
using rururev::image::save_picture;
using rururev::image::exif_orientation;

namespace {

// The frame header of a JPEG file: its marker (0xC0 baseline, 0xC2
// progressive), size, number of components and the first one's sampling.
struct JpegFrame {
    int marker = 0, width = 0, height = 0, components = 0, sampling = 0;
};

JpegFrame jpeg_frame(const std::string& bytes) {
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(bytes[at]); };
    for (size_t at = 2; at + 9 < bytes.size(); at += 2 + (byte(at + 2) << 8 | byte(at + 3))) {
        if (byte(at + 1) == 0xC0 || byte(at + 1) == 0xC2) {
            return {byte(at + 1), byte(at + 7) << 8 | byte(at + 8), byte(at + 5) << 8 | byte(at + 6),
                    byte(at + 9), byte(at + 11)};
        }
    }
    return {};
}

Raster gradient(uint32_t w, uint32_t h, bool grey) {
    Raster p;
    p.width = w;
    p.height = h;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t r = x * 255 / w, g = grey ? r : y * 255 / h, b = grey ? r : 128;
            p.words.push_back((x % 3 ? 0xFF000000u : 0u) | r << 16 | g << 8 | b);  // some transparent
        }
    }
    return p;
}

// Reads 2 or 4 bytes of EXIF data at `at`, in its byte order.
uint32_t exif_number(const std::string& exif, size_t at, size_t bytes) {
    uint32_t n = 0;
    for (size_t k = 0; k < bytes; ++k) n = n << 8 | static_cast<unsigned char>(exif[at + (exif[0] == 'M' ? k : bytes - 1 - k)]);
    return n;
}

// A picture with a camera's EXIF data (little- or big-endian, `damage` over
// it at `at`): the orientation, a stale ImageWidth (a LONG at 30), an Exif
// IFD with stale PixelX/YDimension (a SHORT at 60, a LONG at 72) and an
// empty IFD1 (linked at 46); XMP and IPTC (in two APP13 markers); and a
// colour profile (the smallest valid RGB one).
Raster with_meta(Raster p, int orientation, bool big_endian, size_t at = 0, const std::string& damage = "") {
    const auto n16 = [&](int v) { return big_endian ? std::string{char(v >> 8), char(v)} : std::string{char(v), char(v >> 8)}; };
    const auto n32 = [&](int v) { return big_endian ? n16(0) + n16(v) : n16(v) + n16(0); };
    p.meta.exif = (big_endian ? std::string("MM\0*", 4) : std::string("II*\0", 4)) + n32(8) + n16(3) + n16(0x0112) +
                  n16(3) + n32(1) + n16(orientation) + n16(0) + n16(0x0100) + n16(4) + n32(1) + n32(999) +
                  n16(0x8769) + n16(4) + n32(1) + n32(50) + n32(80) + n16(2) + n16(0xA002) + n16(3) + n32(1) +
                  n16(999) + n16(0) + n16(0xA003) + n16(4) + n32(1) + n32(999) + n32(0) + n16(0) + n32(0);
    p.meta.xmp = "<x:xmpmeta><rdf:Description tiff:Orientation=\"" + std::to_string(orientation) + "\"/></x:xmpmeta>";
    p.meta.iptc = std::string(70000, '\x1C');
    p.meta.exif.replace(at, damage.size(), damage);
    std::string icc(400, '\0');  // a header, no tags, and bytes zlib cannot squeeze much
    icc[2] = char(400 >> 8);
    icc[3] = char(400 & 0xFF);
    for (size_t k = 132; k < icc.size(); ++k) icc[k] = char(k * k * 7 >> 3);
    icc.replace(12, 12, "mntrRGB XYZ ");
    icc.replace(36, 4, "acsp");
    icc.replace(68, 12, std::string("\0\0\xF6\xD6\0\1\0\0\0\0\xD3\x2D", 12));  // D50
    p.meta.icc = icc;
    return p;
}

Raster with_sampling(Raster p, int across, int down) {
    p.meta.chroma_across = across;
    p.meta.chroma_down = down;
    return p;
}

TEST(JpegFiles, RoundTripsKeepTheSizeAndComeCloseToTheColours) {
    const struct {
        const char* name;
        Raster picture;
        rururev::image::SaveOptions options;
        int marker, components, tolerance;
        int orientation = 1;  // by which the saved picture loads turned
        const char* file = "p.JPG";
        bool exif_fits = true;  // its sizes and thumbnail made true of the saved picture (not when damaged)
        int sampling = 0x11;    // of the first component: 0x22 is 4:2:0
    } cases[] = {
        {"colour", gradient(32, 16, false), {}, 0xC0, 3, 12},
        {"grey", gradient(32, 16, true), {}, 0xC0, 1, 3},
        {"progressive", gradient(32, 16, false), {90, true}, 0xC2, 3, 12},
        {"odd size, best quality", gradient(13, 7, false), {100, false}, 0xC0, 3, 16},
        {"quality 80, chroma halved", gradient(32, 16, false), {80, false}, 0xC0, 3, 12, 1, "p.JPG", true, 0x22},
        // A JPEG file's sampling is kept whatever the quality, turned with the picture.
        {"4:2:2 kept, turned right", with_sampling(with_meta(gradient(32, 16, false), 6, false), 2, 1), {100, false},
         0xC0, 3, 12, 6, "p.JPG", true, 0x21},
        // Turned upright on loading; the profile and EXIF data kept, the
        // orientation reset, through JPEG and then PNG.
        {"turned right, profile", with_meta(gradient(32, 16, false), 6, false), {}, 0xC0, 3, 12, 6},
        {"turned left, big-endian", with_meta(gradient(32, 16, false), 8, true), {}, 0xC0, 3, 12, 8},
        {"upside down, grey kept in RGB", with_meta(gradient(32, 16, true), 3, false), {}, 0xC0, 3, 3, 3},
        // A PNG file's eXIf chunk turns it word for word; malformed EXIF data leaves it as stored.
        {"PNG turned right", with_meta(gradient(32, 16, false), 6, false), {}, 0, 0, 0, 6, "in.png"},
        {"PNG turned left, big-endian", with_meta(gradient(32, 16, false), 8, true), {}, 0, 0, 0, 8, "in.png"},
        {"PNG, orientation 9", with_meta(gradient(32, 16, false), 9, true), {}, 0, 0, 0, 1, "in.png"},
        {"PNG, IFD past the data", with_meta(gradient(32, 16, false), 6, true, 4, "\xFF\xFF\xFF\xF0"), {}, 0, 0, 0, 1, "in.png", false},
        {"PNG, entries past the data", with_meta(gradient(32, 16, false), 6, false, 8, "\xFF\xFF\x13\x01"), {}, 0, 0, 0, 1, "in.png", false},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        const std::string path = dir / c.file;
        std::string error;
        ASSERT_TRUE(save_picture(path, c.picture, c.options, error)) << c.name << ": " << error;
        const JpegFrame frame = jpeg_frame(read_file(path));
        EXPECT_EQ(frame.marker, c.marker) << c.name;
        EXPECT_EQ(frame.components, c.components) << c.name;
        EXPECT_EQ(frame.width, c.marker == 0 ? 0 : static_cast<int>(c.picture.width)) << c.name;
        EXPECT_EQ(frame.sampling, c.marker == 0 ? 0 : c.sampling) << c.name;
        Raster back;
        ASSERT_TRUE(load_picture(path, back, error)) << c.name << ": " << error;
        const uint32_t w = c.picture.width, h = c.picture.height;
        const bool turned = c.orientation >= 5;
        ASSERT_EQ(back.width, turned ? h : w) << c.name;
        ASSERT_EQ(back.height, turned ? w : h) << c.name;
        int worst = 0;
        for (uint32_t y = 0; y < back.height; ++y) {
            for (uint32_t x = 0; x < back.width; ++x) {
                // Where the upright pixel (x, y) is stored.
                const uint32_t sx = c.orientation == 6 ? y : c.orientation == 8 ? w - 1 - y : c.orientation == 3 ? w - 1 - x : x;
                const uint32_t sy = c.orientation == 6 ? h - 1 - x : c.orientation == 8 ? x : c.orientation == 3 ? h - 1 - y : y;
                const uint32_t got = back.words[size_t{y} * back.width + x], was = c.picture.words[size_t{sy} * w + sx];
                EXPECT_EQ(got >> 24, c.marker == 0 ? was >> 24 : 255u) << c.name;  // JPEG keeps no alpha
                for (int shift : {0, 8, 16}) worst = std::max(worst, std::abs(int(was >> shift & 0xFF) - int(got >> shift & 0xFF)));
            }
        }
        EXPECT_LE(worst, c.tolerance) << c.name;
        EXPECT_EQ(back.meta.icc, c.picture.meta.icc) << c.name;
        EXPECT_EQ(exif_orientation(back.meta.exif), 1) << c.name;
        Raster again;
        ASSERT_TRUE(save_picture(dir / "p.png", back, {}, error) && load_picture(dir / "p.png", again, error)) << error;
        EXPECT_EQ(again.meta.icc, c.picture.meta.icc) << c.name;
        EXPECT_EQ(back.meta.exif.size(), c.picture.meta.exif.size()) << c.name;
        EXPECT_EQ(again.meta.exif.size(), c.picture.meta.exif.size()) << c.name;
        // The sizes of the picture each file holds, stored and then upright, and no thumbnail.
        for (const auto& [exif, w_was, h_was] : {std::tuple{back.meta.exif, w, h}, {again.meta.exif, back.width, back.height}}) {
            if (exif.empty()) continue;
            const uint32_t old = c.exif_fits ? 0 : 999;
            EXPECT_EQ((std::vector<uint32_t>{exif_number(exif, 30, 4), exif_number(exif, 60, 2), exif_number(exif, 72, 4),
                                             exif_number(exif, 46, 4)}),
                      (std::vector<uint32_t>{old ? old : w_was, old ? old : w_was, old ? old : h_was, old ? 80u : 0u}))
                << c.name;
        }
        const std::string xmp = c.picture.meta.xmp.empty() ? "" : with_meta({}, 1, false).meta.xmp;
        EXPECT_EQ(back.meta.xmp, xmp) << c.name;
        EXPECT_EQ(again.meta.xmp, xmp) << c.name;
        EXPECT_EQ(back.meta.iptc, c.marker == 0 ? "" : c.picture.meta.iptc) << c.name;  // PNG holds no IPTC
        const int upright = c.orientation >= 5 ? (c.sampling & 15) << 4 | c.sampling >> 4 : c.sampling;
        EXPECT_EQ(back.meta.chroma_across << 4 | back.meta.chroma_down, c.marker == 0 || c.components == 1 ? 0 : upright)
            << c.name;
        // One eXIf chunk, before the pixels.
        const std::string png = read_file(dir / "p.png");
        size_t chunks = 0;
        for (size_t at = png.find("eXIf"); at < png.find("IDAT"); at = png.find("eXIf", at + 1)) ++chunks;
        EXPECT_EQ(chunks, back.meta.exif.empty() ? 0u : 1u) << c.name;
        EXPECT_EQ(png.find("eXIf", png.find("IDAT")), std::string::npos) << c.name;
        EXPECT_EQ(dir.names(), (std::vector<std::string>{c.file, "p.png"}));
        std::remove(path.c_str());
    }
}

TEST(JpegFiles, DamagedFilesAndBadSavesAreRejected) {
    ScratchDir dir;
    std::string error;
    ASSERT_TRUE(save_picture(dir / "good.jpg", gradient(16, 16, false), {}, error)) << error;
    const std::string good = read_file(dir / "good.jpg");
    std::string huge = good;
    const size_t sof = good.find("\xFF\xC0");
    huge[sof + 5] = huge[sof + 7] = '\x75';  // 30000 x 30000
    huge[sof + 6] = huge[sof + 8] = '\x30';
    // 16384 x 16384 claimed by the 16 x 16 file, baseline and progressive.
    const auto lying = [](std::string bytes, const char* sof_marker) {
        const size_t at = bytes.find(sof_marker);
        bytes[at + 5] = bytes[at + 7] = '\x40';
        bytes[at + 6] = bytes[at + 8] = '\x00';
        return bytes;
    };
    ASSERT_TRUE(save_picture(dir / "bad.jpg", gradient(16, 16, false), {90, true}, error)) << error;
    const std::string progressive = read_file(dir / "bad.jpg");
    const size_t dc = progressive.find("\xFF\xDA"), next_table = progressive.find("\xFF\xC4", dc);
    const size_t last = progressive.rfind("\xFF\xDA");
    // Its 10 scans, the last repeated until there are 101.
    std::string scans = progressive.substr(0, progressive.size() - 2);
    for (int i = 0; i < 91; ++i) scans += progressive.substr(last, progressive.size() - 2 - last);
    const struct { const char* name; std::string bytes; const char* reason; } loads[] = {
        {"start only", good.substr(0, 3), "cannot load '$': "},
        {"cut in the scan", good.substr(0, good.size() - 40), "cannot load '$': Premature end of JPEG file"},
        {"over the pixel limit", huge, "cannot load '$': 30000 x 30000 pixels is more than the limit of 268435456"},
        {"header larger than the file", lying(good, "\xFF\xC0"),
         "cannot load '$': the header claims 16384 x 16384 pixels, more than the file can hold"},
        {"progressive, header larger than the file", lying(progressive, "\xFF\xC2"),
         "cannot load '$': the header claims 16384 x 16384 pixels, more than the file can hold"},
        {"progressive, AC first", progressive.substr(0, dc) + progressive.substr(next_table),
         "cannot load '$': a scan codes a component's AC coefficients before its DC ones"},
        {"progressive, DC of luma only",
         progressive.substr(0, dc + 2) + std::string("\0\x08\x01", 3) + progressive.substr(dc + 5, 2) +
             progressive.substr(dc + 11),
         "cannot load '$': a scan codes a component's AC coefficients before its DC ones"},
        {"progressive, 101 scans", scans + "\xFF\xD9", "cannot load '$': more scans than the limit of 100"},
    };
    for (const auto& c : loads) {
        write_file(dir / "bad.jpg", c.bytes);
        Raster picture;
        EXPECT_FALSE(load_picture(dir / "bad.jpg", picture, error)) << c.name;
        std::string want = c.reason;
        want.replace(want.find('$'), 1, dir / "bad.jpg");
        EXPECT_EQ(error.substr(0, want.size()), want) << c.name << ": " << error;
    }
    const struct { std::string path; rururev::image::SaveOptions options; const char* reason; } saves[] = {
        {dir / "x.gif", {}, "unknown picture type '.gif' (use .png, .jpg or .jpeg)"},
        {dir / "x.jpeg", {0, false}, "the quality must be from 1 to 100, got 0"},
    };
    for (const auto& c : saves) {
        EXPECT_FALSE(save_picture(c.path, gradient(2, 2, false), c.options, error));
        EXPECT_EQ(error, "cannot save '" + c.path + "': " + c.reason);
    }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"bad.jpg", "good.jpg"}));
}

}  // namespace
