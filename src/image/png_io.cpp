#include "image/png_io.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/stat.h>

#include <png.h>
#include <zlib.h>

#include "image/atomic_file.h"
#include "image/raster_load.h"

// libpng reports errors by a long jump back to the setjmp of the function
// that called it. The functions here that set a jump point hold no C++
// object with a destructor; what must survive a jump lives in the reader or
// writer struct, on the heap.

namespace rururev::image {

struct PngReader {
    const char* path = nullptr;  // the caller's, for messages
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    int passes = 1;
    int orientation = 1;  // from an eXIf chunk before the pixels: how they are turned
    char message[256] = "";
};

static void on_png_error(png_structp png, png_const_charp message) {
    char* out = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(out, 256, "%s", message);
    png_longjmp(png, 1);
}

// Warnings (a damaged ancillary chunk, say) change nothing in the pixels:
// a library does not print them.
static void on_png_warning(png_structp, png_const_charp) {}

// Reads through stdio so that a short file is told apart from a failing one.
static void read_from_file(png_structp png, png_bytep data, size_t length) {
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, reader->file) == length) return;
    if (std::ferror(reader->file)) {
        png_error(png, std::strerror(errno));
    }
    png_error(png, "truncated PNG file (unexpected end of file)");
}

static void fail(char* error, size_t size, const char* verb, const char* path, const char* reason) {
    std::snprintf(error, size, "cannot %s '%s': %s", verb, path, reason);
}

bool can_hold(std::FILE* file, uint64_t least_bytes) {
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return true;
    return static_cast<uint64_t>(st.st_size) >= least_bytes;
}

// Deflate unpacks at most 1032 bytes from each byte it reads (a 258-byte
// match in two bits), so the samples the header claims need at least their
// size over 1032 in the file.
static bool claims_fit_file(PngReader* r) {
    const uint64_t bits = uint64_t{png_get_channels(r->png, r->info)} * png_get_bit_depth(r->png, r->info);
    const uint64_t sample_bytes = (uint64_t{r->width} * bits + 7) / 8 * r->height;
    return can_hold(r->file, sample_bytes / 1032);
}

// Asks libpng for 8-bit RGBA rows whatever the file holds.
static void request_rgba8(png_structp png, png_infop info) {
    const int type = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    const bool has_trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (has_trns) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_scale_16(png);
    if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if ((type & PNG_COLOR_MASK_ALPHA) == 0 && !has_trns) png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
}

// Reads the header into the reader; false when libpng failed.
static bool read_header(PngReader* r) {
    if (setjmp(png_jmpbuf(r->png))) return false;
    png_set_read_fn(r->png, r, read_from_file);
    png_set_sig_bytes(r->png, 8);
    // The pixel-count limit below is the one that matters; libpng's own
    // default caps a side at a million pixels.
    png_set_user_limits(r->png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_read_info(r->png, r->info);
    r->width = png_get_image_width(r->png, r->info);
    r->height = png_get_image_height(r->png, r->info);
    return true;
}

static bool prepare_rows(PngReader* r) {
    if (setjmp(png_jmpbuf(r->png))) return false;
    request_rgba8(r->png, r->info);
    r->passes = png_set_interlace_handling(r->png);
    png_read_update_info(r->png, r->info);
    if (png_get_rowbytes(r->png, r->info) != size_t{r->width} * 4) {
        png_error(r->png, "unsupported pixel format");
    }
    return true;
}

// Opens the file and reads as far as the first row; returns null, or the
// reason it cannot be read.
static const char* start_reading(PngReader* r) {
    r->file = std::fopen(r->path, "rb");
    if (r->file == nullptr) return std::strerror(errno);
    png_byte signature[8];
    const size_t got = std::fread(signature, 1, sizeof signature, r->file);
    if (got < sizeof signature && std::ferror(r->file)) return std::strerror(errno);
    if (got < sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0) {
        return "not a PNG file";
    }
    r->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, r->message, on_png_error, on_png_warning);
    if (r->png != nullptr) r->info = png_create_info_struct(r->png);
    if (r->info == nullptr) return "out of memory";
    if (!read_header(r)) return r->message;
    // Checked before anything is allocated for the pixels.
    if (uint64_t{r->width} * r->height > max_pixels) {
        std::snprintf(r->message, sizeof r->message, "%u x %u pixels is more than the limit of %llu",
                      r->width, r->height, static_cast<unsigned long long>(max_pixels));
        return r->message;
    }
    if (!claims_fit_file(r)) {
        std::snprintf(r->message, sizeof r->message,
                      "the header claims %u x %u pixels, more than the file can hold", r->width,
                      r->height);
        return r->message;
    }
    if (!prepare_rows(r)) return r->message;
    return nullptr;
}

// The orientation of the eXIf chunk read with the header; 1 when there is
// none (one after the pixels is not read at all), it is malformed or there is
// no memory to look.
static int stored_orientation(PngReader* r) {
    png_bytep exif = nullptr;
    png_uint_32 size = 0;
    if (png_get_eXIf_1(r->png, r->info, &size, &exif) == 0) return 1;
    try {
        return exif_orientation(std::string(reinterpret_cast<const char*>(exif), size));
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

PngReader* png_open(const char* path, uint32_t* width, uint32_t* height,
                    char* error, size_t error_size) {
    auto* r = new (std::nothrow) PngReader;
    if (r == nullptr) {
        fail(error, error_size, "load", path, "out of memory");
        return nullptr;
    }
    r->path = path;
    if (const char* reason = start_reading(r)) {
        fail(error, error_size, "load", path, reason);
        png_close(r);
        return nullptr;
    }
    r->orientation = stored_orientation(r);
    const bool swap = swaps_sides(r->orientation);
    *width = swap ? r->height : r->width;
    *height = swap ? r->width : r->height;
    return r;
}

// The keyword of the iTXt chunk that holds an XMP packet.
static constexpr char xmp_key[] = "XML:com.adobe.xmp";

bool png_metadata(PngReader* r, PhotoMeta& meta) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr, exif = nullptr;
    png_uint_32 profile_size = 0, exif_size = 0;
    try {
        if (png_get_iCCP(r->png, r->info, &name, &compression, &profile, &profile_size) != 0) {
            meta.icc.assign(reinterpret_cast<const char*>(profile), profile_size);
        }
        if (png_get_eXIf_1(r->png, r->info, &exif_size, &exif) != 0) {
            meta.exif.assign(reinterpret_cast<const char*>(exif), exif_size);
            reset_orientation(meta.exif);
        }
        png_textp texts = nullptr;
        const int count = png_get_text(r->png, r->info, &texts, nullptr);
        for (int k = 0; k < count; ++k) {
            if (std::strcmp(texts[k].key, xmp_key) == 0 && texts[k].compression >= PNG_ITXT_COMPRESSION_NONE) {
                meta.xmp.assign(texts[k].text, texts[k].itxt_length);
                reset_xmp_orientation(meta.xmp);
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

static uint32_t rgba_word(const unsigned char* p) {
    return uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
}

// Reads every pass of every row as RGBA bytes, then checks the chunks after
// the image data. Rows go straight into the pixel words, or, given `row`,
// through it to where each pixel shows upright.
static bool read_rows(PngReader* r, uint32_t* pixels, unsigned char* row) {
    if (setjmp(png_jmpbuf(r->png))) return false;
    auto* bytes = reinterpret_cast<unsigned char*>(pixels);
    const size_t stride = size_t{r->width} * 4;
    for (int pass = 0; pass < r->passes; ++pass) {
        for (uint32_t y = 0; y < r->height; ++y) {
            png_read_row(r->png, row != nullptr ? row : bytes + stride * y, nullptr);
            if (row != nullptr) {
                place_row(pixels, row, y, r->width, r->height, r->orientation, rgba_word);
            }
        }
    }
    png_read_end(r->png, nullptr);
    return true;
}

// A turned picture is placed row by row as it is read; an interlaced one
// needs its stored rows whole until the last pass, so it is turned after.
bool png_read_pixels(PngReader* r, uint32_t* pixels, char* error, size_t error_size) {
    const bool by_row = r->orientation != 1 && r->passes == 1;
    unsigned char* row = nullptr;
    if (by_row && (row = static_cast<unsigned char*>(std::malloc(size_t{r->width} * 4))) == nullptr) {
        fail(error, error_size, "load", r->path, "out of memory");
        return false;
    }
    const bool ok = read_rows(r, pixels, row);
    std::free(row);
    if (!ok) {
        fail(error, error_size, "load", r->path, r->message);
        return false;
    }
    if (by_row) return true;
    // Red, green, blue, alpha bytes become one word each, in place.
    const auto* bytes = reinterpret_cast<const unsigned char*>(pixels);
    const size_t count = size_t{r->width} * r->height;
    for (size_t i = 0; i < count; ++i) pixels[i] = rgba_word(bytes + 4 * i);
    if (!turn_upright(pixels, r->width, r->height, r->orientation)) {
        fail(error, error_size, "load", r->path, "out of memory");
        return false;
    }
    return true;
}

void png_close(PngReader* r) {
    if (r == nullptr) return;
    if (r->png != nullptr) png_destroy_read_struct(&r->png, r->info ? &r->info : nullptr, nullptr);
    if (r->file != nullptr) std::fclose(r->file);
    delete r;
}

struct PngWriter {
    AtomicFile out;
    png_structp png = nullptr;
    png_infop info = nullptr;
    unsigned char* row = nullptr;
    // Encoding to memory instead of a file: a growing malloc'd buffer.
    bool to_memory = false;
    unsigned char* memory = nullptr;
    size_t used = 0, capacity = 0;
    char message[256] = "";
    PhotoMeta meta;  // what is written with the picture, its EXIF fitted to it
};

static void append_to_memory(PngWriter* w, png_bytep data, size_t length) {
    if (length > w->capacity - w->used) {
        size_t capacity = w->capacity < 65536 ? 65536 : w->capacity;
        while (capacity - w->used < length) capacity *= 2;
        auto* grown = static_cast<unsigned char*>(std::realloc(w->memory, capacity));
        if (grown == nullptr) png_error(w->png, "out of memory");
        w->memory = grown;
        w->capacity = capacity;
    }
    std::memcpy(w->memory + w->used, data, length);
    w->used += length;
}

static void write_to_file(png_structp png, png_bytep data, size_t length) {
    auto* w = static_cast<PngWriter*>(png_get_io_ptr(png));
    if (w->to_memory) return append_to_memory(w, data, length);
    if (std::fwrite(data, 1, length, w->out.file) != length) png_error(png, std::strerror(errno));
}

static void flush_file(png_structp png) {
    auto* w = static_cast<PngWriter*>(png_get_io_ptr(png));
    if (!w->to_memory && std::fflush(w->out.file) != 0) png_error(png, std::strerror(errno));
}

// What a picture needs in the file, found in one pass over its words:
// grey or colour, alpha or not, and whether it looks like graphics (most
// pixels repeat their left neighbour) rather than a photo.
struct Layout {
    int color_type = PNG_COLOR_TYPE_RGB_ALPHA;
    int channels = 4;
    bool graphics = false;
};

static Layout survey(uint32_t width, uint32_t height, const uint32_t* pixels, bool colour) {
    uint32_t alpha_and = 0xFF;
    bool grey = !colour;
    size_t repeats = 0;
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* line = pixels + size_t{width} * y;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t word = line[x];
            alpha_and &= word >> 24;
            grey &= ((word >> 16 ^ word) & 0xFF) == 0 && ((word >> 8 ^ word) & 0xFF) == 0;
            repeats += x > 0 && word == line[x - 1];
        }
    }
    Layout layout;
    const bool opaque = alpha_and == 0xFF;
    if (grey) {
        layout.color_type = opaque ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_GRAY_ALPHA;
        layout.channels = opaque ? 1 : 2;
    } else if (opaque) {
        layout.color_type = PNG_COLOR_TYPE_RGB;
        layout.channels = 3;
    }
    layout.graphics = repeats > size_t{width} * height / 2;
    return layout;
}

// Zlib's level and strategy and the row filter for a save level, chosen by
// measuring 1080p photos and graphics (see the README). Photo noise leaves
// LZ77 nothing to find, so photos are coded as runs at every level. The
// default level 1 takes the up filter for every row instead of libpng's
// per-row trial of all five, which costs more than the deflate.
static void set_compression(png_structp png, int level, const Layout& layout) {
    png_set_compression_level(png, level);
    if (level == 0) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
        return;
    }
    png_set_compression_strategy(png, layout.graphics ? Z_DEFAULT_STRATEGY : Z_RLE);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, level == 1 ? PNG_FILTER_UP : PNG_ALL_FILTERS);
}

// One row of words as the file's samples: grey, grey and alpha, RGB or RGBA.
static void pack_row(const uint32_t* line, uint32_t width, int channels, unsigned char* row) {
    for (uint32_t x = 0; x < width; ++x) {
        const uint32_t word = line[x];
        unsigned char* p = row + size_t{x} * channels;
        const auto red = static_cast<unsigned char>(word >> 16);
        const auto alpha = static_cast<unsigned char>(word >> 24);
        switch (channels) {
        case 1: p[0] = red; break;
        case 2: p[0] = red; p[1] = alpha; break;
        default:
            p[0] = red;
            p[1] = static_cast<unsigned char>(word >> 8);
            p[2] = static_cast<unsigned char>(word);
            if (channels == 4) p[3] = alpha;
        }
    }
}

// An RGB profile keeps a grey picture in colour, where the profile is valid.
static bool write_image(PngWriter* w, uint32_t width, uint32_t height, const uint32_t* pixels,
                        int level, const PhotoMeta* meta) {
    if (setjmp(png_jmpbuf(w->png))) return false;
    const Layout layout = survey(width, height, pixels, meta != nullptr && is_rgb_profile(meta->icc));
    png_set_write_fn(w->png, w, write_to_file, flush_file);
    png_set_IHDR(w->png, w->info, width, height, 8, layout.color_type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (meta != nullptr) {
        // A profile libpng finds unfit for the picture is left out, not an error.
        png_set_benign_errors(w->png, 1);
        if (!meta->icc.empty()) {
            png_set_iCCP(w->png, w->info, "ICC profile", PNG_COMPRESSION_TYPE_BASE,
                         reinterpret_cast<png_const_bytep>(meta->icc.data()),
                         static_cast<png_uint_32>(meta->icc.size()));
        }
        if (!meta->exif.empty()) {
            png_set_eXIf_1(w->png, w->info, static_cast<png_uint_32>(meta->exif.size()),
                           reinterpret_cast<png_bytep>(const_cast<char*>(meta->exif.data())));
        }
        if (!meta->xmp.empty()) {
            png_text text{};
            text.compression = PNG_ITXT_COMPRESSION_NONE;
            text.key = const_cast<char*>(xmp_key);
            text.text = const_cast<char*>(meta->xmp.c_str());
            text.itxt_length = meta->xmp.size();
            png_set_text(w->png, w->info, &text, 1);
        }
    }
    set_compression(w->png, level, layout);
    png_write_info(w->png, w->info);
    for (uint32_t y = 0; y < height; ++y) {
        pack_row(pixels + size_t{width} * y, width, layout.channels, w->row);
        png_write_row(w->png, w->row);
    }
    // Every chunk went before the pixels: given the info again, libpng
    // would write the eXIf chunk a second time after them.
    png_write_end(w->png, nullptr);
    return true;
}

static void close_writer(PngWriter* w) {
    if (w->png != nullptr) png_destroy_write_struct(&w->png, w->info ? &w->info : nullptr);
    std::free(w->row);
    std::free(w->memory);
    delete w;
}

// Checks the size and level and makes a writer; null with the reason in
// `error` when it cannot.
static PngWriter* open_writer(const char* path, uint32_t width, uint32_t height, int level,
                              const PhotoMeta* meta, char* error, size_t error_size) {
    char reason[256];
    if (width == 0 || height == 0 || uint64_t{width} * height > max_pixels) {
        std::snprintf(reason, sizeof reason, "cannot write a picture of %u x %u pixels", width, height);
        fail(error, error_size, "save", path, reason);
        return nullptr;
    }
    if (level < 0 || level > 9) {
        std::snprintf(reason, sizeof reason, "the level %d is not from 0 to 9", level);
        fail(error, error_size, "save", path, reason);
        return nullptr;
    }
    auto* w = new (std::nothrow) PngWriter;
    if (w == nullptr) {
        fail(error, error_size, "save", path, "out of memory");
        return nullptr;
    }
    w->row = static_cast<unsigned char*>(std::malloc(size_t{width} * 4));
    w->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, w->message, on_png_error, on_png_warning);
    if (w->png != nullptr) w->info = png_create_info_struct(w->png);
    bool fitted = true;
    try {
        if (meta != nullptr) {
            w->meta = *meta;
            fit_exif(w->meta.exif, width, height);
        }
    } catch (const std::bad_alloc&) {
        fitted = false;
    }
    if (w->row == nullptr || w->info == nullptr || !fitted) {
        fail(error, error_size, "save", path, "out of memory");
        close_writer(w);
        return nullptr;
    }
    return w;
}

bool png_encode(const char* path, uint32_t width, uint32_t height, const uint32_t* pixels,
                int level, std::vector<unsigned char>& out, char* error, size_t error_size,
                const PhotoMeta* meta) {
    PngWriter* w = open_writer(path, width, height, level, meta, error, error_size);
    if (w == nullptr) return false;
    w->to_memory = true;
    bool ok = write_image(w, width, height, pixels, level, meta != nullptr ? &w->meta : nullptr);
    if (!ok) fail(error, error_size, "save", path, w->message);
    if (ok) {
        try {
            out.assign(w->memory, w->memory + w->used);
        } catch (const std::bad_alloc&) {
            fail(error, error_size, "save", path, "out of memory");
            ok = false;
        }
    }
    close_writer(w);
    return ok;
}

bool png_save(const char* path, uint32_t width, uint32_t height, const uint32_t* pixels,
              char* error, size_t error_size, int level, const PhotoMeta* meta) {
    char reason[256];
    PngWriter* w = open_writer(path, width, height, level, meta, error, error_size);
    if (w == nullptr) return false;
    if (!atomic_open(&w->out, path, reason, sizeof reason)) {
        fail(error, error_size, "save", path, reason);
        close_writer(w);
        return false;
    }
    if (!write_image(w, width, height, pixels, level, meta != nullptr ? &w->meta : nullptr)) {
        fail(error, error_size, "save", path, w->message);
        atomic_abort(&w->out);
        close_writer(w);
        return false;
    }
    const bool committed = atomic_commit(&w->out, reason, sizeof reason);
    if (!committed) fail(error, error_size, "save", path, reason);
    close_writer(w);
    return committed;
}

bool load_png(const std::string& path, Raster& out, std::string& error) {
    return load_raster(path, out, error, png_open, png_read_pixels, png_close, png_metadata);
}

bool save_png(const std::string& path, const Raster& picture, std::string& error, int level) {
    char message[512];
    if (picture.words.size() != size_t{picture.width} * picture.height) {
        error = "cannot save '" + path + "': the pixels do not match the size";
        return false;
    }
    if (!png_save(path.c_str(), picture.width, picture.height, picture.words.data(),
                  message, sizeof message, level)) {
        error = message;
        return false;
    }
    return true;
}

}  // namespace rururev::image
