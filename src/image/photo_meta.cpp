#include "image/photo_meta.h"

#include <cstring>
#include <new>
#include <vector>

namespace rururev::image {

namespace {

constexpr uint16_t orientation_tag = 0x0112;
constexpr uint16_t short_type = 3;
constexpr uint16_t long_type = 4;

// Reads 2 or 4 bytes in the TIFF data's own byte order.
uint32_t read_number(const std::string& d, size_t at, size_t bytes, bool big_endian) {
    uint32_t n = 0;
    for (size_t k = 0; k < bytes; ++k) {
        const auto byte = static_cast<unsigned char>(d[at + (big_endian ? k : bytes - 1 - k)]);
        n = n << 8 | byte;
    }
    return n;
}

void write_number(std::string& d, size_t at, size_t bytes, uint32_t n, bool big_endian) {
    for (size_t k = 0; k < bytes; ++k) {
        d[at + (big_endian ? bytes - 1 - k : k)] = static_cast<char>(n >> (8 * k) & 0xFF);
    }
}

// The byte order and the offset of IFD0; false when the data is no TIFF.
bool tiff_header(const std::string& d, bool& big_endian, size_t& ifd0) {
    if (d.size() < 8) return false;
    if (d.compare(0, 4, std::string("II*\0", 4)) == 0) {
        big_endian = false;
    } else if (d.compare(0, 4, std::string("MM\0*", 4)) == 0) {
        big_endian = true;
    } else {
        return false;
    }
    ifd0 = read_number(d, 4, 4, big_endian);
    return true;
}

// Where the entry of `tag` in the IFD at `ifd` is, holding one value of
// `type` in itself; 0 when there is none or the IFD's entries overrun the data.
size_t entry_at(const std::string& d, size_t ifd, uint16_t tag, uint16_t type, bool big_endian) {
    if (ifd < 8 || ifd > d.size() - 2) return 0;
    const size_t entries = read_number(d, ifd, 2, big_endian);
    if (entries > (d.size() - ifd - 2) / 12) return 0;  // a damaged IFD is left alone
    for (size_t k = 0; k < entries; ++k) {
        const size_t entry = ifd + 2 + 12 * k;
        if (read_number(d, entry, 2, big_endian) == tag && read_number(d, entry + 2, 2, big_endian) == type &&
            read_number(d, entry + 4, 4, big_endian) == 1) {
            return entry;
        }
    }
    return 0;
}

// Where the value of the orientation entry of IFD0 is, or 0 when there is none.
size_t orientation_at(const std::string& d, bool& big_endian) {
    size_t ifd0 = 0;
    if (!tiff_header(d, big_endian, ifd0)) return 0;
    const size_t entry = entry_at(d, ifd0, orientation_tag, short_type, big_endian);
    return entry == 0 ? 0 : entry + 8;
}

// Sets a size entry of the IFD, a SHORT or a LONG, where it has one.
void set_size(std::string& d, size_t ifd, uint16_t tag, uint32_t value, bool big_endian) {
    if (const size_t at = entry_at(d, ifd, tag, long_type, big_endian); at != 0) {
        write_number(d, at + 8, 4, value, big_endian);
    } else if (const size_t at16 = entry_at(d, ifd, tag, short_type, big_endian); at16 != 0 && value <= 0xFFFF) {
        write_number(d, at16 + 8, 2, value, big_endian);
    }
}

}  // namespace

int exif_orientation(const std::string& exif) {
    bool big_endian = false;
    const size_t at = orientation_at(exif, big_endian);
    const uint32_t value = at == 0 ? 1 : read_number(exif, at, 2, big_endian);
    return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
}

void reset_orientation(std::string& exif) {
    bool big_endian = false;
    const size_t at = orientation_at(exif, big_endian);
    if (at == 0) return;
    exif[at] = static_cast<char>(big_endian ? 0 : 1);
    exif[at + 1] = static_cast<char>(big_endian ? 1 : 0);
}

void fit_exif(std::string& exif, uint32_t width, uint32_t height) {
    bool big_endian = false;
    size_t ifd0 = 0;
    if (!tiff_header(exif, big_endian, ifd0) || ifd0 < 8 || ifd0 > exif.size() - 2) return;
    set_size(exif, ifd0, 0x0100, width, big_endian);  // ImageWidth
    set_size(exif, ifd0, 0x0101, height, big_endian);  // ImageLength
    if (const size_t at = entry_at(exif, ifd0, 0x8769, long_type, big_endian); at != 0) {  // the Exif IFD
        const size_t sub = read_number(exif, at + 8, 4, big_endian);
        set_size(exif, sub, 0xA002, width, big_endian);  // PixelXDimension
        set_size(exif, sub, 0xA003, height, big_endian);  // PixelYDimension
    }
    const size_t next = ifd0 + 2 + 12 * size_t{read_number(exif, ifd0, 2, big_endian)};
    if (next <= exif.size() - 4) write_number(exif, next, 4, 0, big_endian);
}

void reset_xmp_orientation(std::string& xmp) {
    for (const char* opening : {"tiff:Orientation=\"", "<tiff:Orientation>"}) {
        const size_t at = xmp.find(opening);
        if (at == std::string::npos) continue;
        const size_t digits = at + std::strlen(opening);
        const size_t end = xmp.find_first_not_of("0123456789", digits);
        if (end != std::string::npos && end > digits) xmp.replace(digits, end - digits, "1");
    }
}

size_t upright_index(uint32_t x, uint32_t y, uint32_t width, uint32_t height, int orientation) {
    // 2, 3 and 4 mirror across and down; 5 to 8 transpose, then mirror.
    const bool across = orientation == 2 || orientation == 3 || orientation == 6 || orientation == 7;
    const bool down = orientation == 3 || orientation == 4 || orientation == 7 || orientation == 8;
    if (!swaps_sides(orientation)) {
        return size_t{down ? height - 1 - y : y} * width + (across ? width - 1 - x : x);
    }
    return size_t{down ? width - 1 - x : x} * height + (across ? height - 1 - y : y);
}

bool turn_upright(uint32_t* pixels, uint32_t width, uint32_t height, int orientation) {
    if (orientation == 1) return true;
    const size_t count = size_t{width} * height;
    std::vector<bool> placed;  // one bit a pixel: whether it holds its upright word yet
    try {
        placed.resize(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Each pixel goes where it shows and displaces the one there, until a
    // cycle of the permutation closes where it began.
    for (size_t start = 0; start < count; ++start) {
        if (placed[start]) continue;
        uint32_t carried = pixels[start];
        size_t from = start;
        do {
            const size_t to = upright_index(static_cast<uint32_t>(from % width), static_cast<uint32_t>(from / width),
                                            width, height, orientation);
            const uint32_t displaced = pixels[to];
            pixels[to] = carried;
            placed[to] = true;
            carried = displaced;
            from = to;
        } while (from != start);
    }
    return true;
}

bool is_rgb_profile(const std::string& icc) { return icc.size() >= 20 && icc.compare(16, 4, "RGB ") == 0; }

}  // namespace rururev::image
