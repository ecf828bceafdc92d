#include "image/jpeg_io.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <jpeglib.h>
#include <jerror.h>

#include "image/atomic_file.h"
#include "image/raster.h"

// libjpeg reports errors through error_exit, which here jumps back to the
// setjmp of the function that called it. As in png_io.cpp, those functions
// hold no C++ object with a destructor, and what must survive a jump lives in
// the reader or writer struct on the heap.

namespace rururev::image {

namespace {

// Decoding a large progressive file keeps all its coefficients in memory;
// this bounds what a file can make the library allocate.
constexpr long max_library_memory = 1L << 30;

struct ErrorTrap {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX + 64];
};

void on_error(j_common_ptr info) {
    auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
    (*info->err->format_message)(info, trap->message);
    std::longjmp(trap->jump, 1);
}

[[noreturn]] void refuse(j_common_ptr info, const char* reason) {
    auto* trap = reinterpret_cast<ErrorTrap*>(info->err);
    std::snprintf(trap->message, sizeof trap->message, "%s", reason);
    std::longjmp(trap->jump, 1);
}

// A progressive file must code a component's DC coefficients before its AC
// ones; the library only warns when it does not. The reader refuses such a
// file, so that the first scan, a DC one, bounds the size the file can claim.
constexpr char ac_before_dc[] = "a scan codes a component's AC coefficients before its DC ones";

// Warnings about damaged data that the library works around are dropped,
// but a file that ends early is an error, as a truncated PNG is: otherwise
// the missing rows would come back grey without a word. So is an AC scan of
// a component whose DC coefficients have not come yet. Other breaks of the
// order of scans (a coefficient coded again, refined out of turn) stay
// warnings: the library decodes them as the later scan says, files from
// careless encoders may have them, and the limit on scans bounds their cost.
void on_message(j_common_ptr info, int level) {
    if (level >= 0) return;
    const int code = info->err->msg_code;
    if (code == JWRN_JPEG_EOF) on_error(info);
    // The library reports coefficient 0 for a scan of AC coefficients
    // (Ss > 0) only when the component's DC coefficients are missing.
    if (code == JWRN_BOGUS_PROGRESSION && info->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(info)->Ss != 0 && info->err->msg_parm.i[1] == 0) {
        refuse(info, ac_before_dc);
    }
}

// Every scan passes over all the blocks of its components, however few
// bytes it takes, so a file of many small scans costs scans x blocks.
// Encoders write about ten (the usual scripts have ten scans for colour and
// six for grey); a hundred leaves room for unusual scripts and keeps a
// hostile file's passes within about ten times an ordinary file's.
constexpr int max_scans = 100;

// The library calls this between the rows it takes in from each scan.
void count_scans(j_common_ptr info) {
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > max_scans) {
        char reason[64];
        std::snprintf(reason, sizeof reason, "more scans than the limit of %d", max_scans);
        refuse(info, reason);
    }
}

void trap_errors(ErrorTrap& trap) {
    jpeg_std_error(&trap.manager);
    trap.manager.error_exit = on_error;
    trap.manager.emit_message = on_message;
    trap.message[0] = '\0';
}

}  // namespace

struct JpegReader {
    const char* path = nullptr;
    FILE* file = nullptr;
    ErrorTrap trap;
    jpeg_decompress_struct info;
    jpeg_progress_mgr progress;
    bool created = false;
    std::string exif;             // from the APP1 marker, read with the header
    std::string xmp, iptc;        // from the APP1 and APP13 markers
    int orientation = 1;          // from the EXIF data: how the stored pixels are turned
    JOCTET* icc = nullptr;        // the ICC profile, malloc'd by the library
    unsigned int icc_size = 0;
    // The stored chroma sampling, read with the header: the library frees
    // its component table once the pixels are decoded. 0 when not shared.
    int chroma_across = 0, chroma_down = 0;
};

// What follows the name that starts an APP1 or APP13 marker.
constexpr char exif_name[] = "Exif\0";  // and the \0 that ends it
constexpr char xmp_name[] = "http://ns.adobe.com/xap/1.0/";
constexpr char iptc_name[] = "Photoshop 3.0";

// The data of the first marker whose data starts with `name` and its \0,
// after them; the data of every such marker, in order, when `all`.
static std::string marker_data(const jpeg_decompress_struct& info, int marker, const char* name, size_t name_size,
                               bool all) {
    std::string data;
    for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
        if (m->marker == marker && m->data_length > name_size && std::memcmp(m->data, name, name_size) == 0) {
            data.append(reinterpret_cast<const char*>(m->data) + name_size, m->data_length - name_size);
            if (!all) break;
        }
    }
    return data;
}

// A Huffman-coded block takes at least a bit in a scan that holds its DC
// coefficient: a DC code, and in a sequential scan an end-of-block or AC
// code too (a lossless file's sample, at least one bit). A sequential file
// codes every component; of a progressive one only the first scan, read
// with the header, is known here, and it is a DC scan (files whose first
// scan is an AC one are refused). Arithmetic coding can take far less than
// a bit a block, and has no such bound.
static bool claims_fit_file(JpegReader* r) {
    const jpeg_decompress_struct& info = r->info;
    if (info.arith_code) return true;
    const int count = info.progressive_mode ? info.comps_in_scan : info.num_components;
    uint64_t blocks = 0;
    for (int i = 0; i < count; ++i) {
        const jpeg_component_info& c = info.progressive_mode ? *info.cur_comp_info[i] : info.comp_info[i];
        blocks += uint64_t{c.width_in_blocks} * c.height_in_blocks;
    }
    return can_hold(r->file, blocks / 8);
}

// Reads the header up to the first scan and checks what it claims; false
// with trap.message on failure. Decoding starts with the pixels: a
// progressive file's scans are all taken in when it starts.
static bool read_header(JpegReader* r) {
    if (setjmp(r->trap.jump)) return false;
    jpeg_create_decompress(&r->info);
    r->created = true;
    r->info.mem->max_memory_to_use = max_library_memory;
    r->progress = {};
    r->progress.progress_monitor = count_scans;
    r->info.progress = &r->progress;
    jpeg_stdio_src(&r->info, r->file);
    jpeg_save_markers(&r->info, JPEG_APP0 + 1, 0xFFFF);  // EXIF and XMP
    jpeg_save_markers(&r->info, JPEG_APP0 + 13, 0xFFFF);  // IPTC
    jpeg_save_markers(&r->info, JPEG_APP0 + 2, 0xFFFF);  // the ICC profile, in pieces
    jpeg_read_header(&r->info, TRUE);
    if (!jpeg_read_icc_profile(&r->info, &r->icc, &r->icc_size)) r->icc_size = 0;
    if (r->info.jpeg_color_space == JCS_CMYK || r->info.jpeg_color_space == JCS_YCCK) {
        std::snprintf(r->trap.message, sizeof r->trap.message, "CMYK JPEG files are not supported");
        return false;
    }
    if (uint64_t{r->info.image_width} * r->info.image_height > max_pixels) {
        std::snprintf(r->trap.message, sizeof r->trap.message,
                      "%u x %u pixels is more than the limit of %llu", r->info.image_width,
                      r->info.image_height, static_cast<unsigned long long>(max_pixels));
        return false;
    }
    if (r->info.progressive_mode && r->info.Ss != 0) {
        std::snprintf(r->trap.message, sizeof r->trap.message, "%s", ac_before_dc);
        return false;
    }
    if (!claims_fit_file(r)) {
        std::snprintf(r->trap.message, sizeof r->trap.message,
                      "the header claims %u x %u pixels, more than the file can hold",
                      r->info.image_width, r->info.image_height);
        return false;
    }
    r->info.out_color_space = JCS_EXT_BGRA;
    jpeg_calc_output_dimensions(&r->info);
    return true;
}

JpegReader* jpeg_open(const char* path, uint32_t* width, uint32_t* height, char* error,
                      size_t error_size) {
    auto* r = new (std::nothrow) JpegReader;
    if (r == nullptr) {
        cannot(error, error_size, "load", path, "out of memory");
        return nullptr;
    }
    r->path = path;
    trap_errors(r->trap);
    r->info.err = &r->trap.manager;
    r->file = std::fopen(path, "rb");
    if (r->file == nullptr) {
        cannot(error, error_size, "load", path, std::strerror(errno));
        jpeg_close(r);
        return nullptr;
    }
    if (!read_header(r)) {
        cannot(error, error_size, "load", path, r->trap.message);
        jpeg_close(r);
        return nullptr;
    }
    // Chroma shared by blocks of luma pixels: the factors of the first
    // component, when the other two have one each.
    const jpeg_component_info* c = r->info.comp_info;
    if (r->info.jpeg_color_space == JCS_YCbCr && r->info.num_components == 3 && c[1].h_samp_factor == 1 &&
        c[1].v_samp_factor == 1 && c[2].h_samp_factor == 1 && c[2].v_samp_factor == 1) {
        r->chroma_across = c[0].h_samp_factor;
        r->chroma_down = c[0].v_samp_factor;
    }
    try {
        r->exif = marker_data(r->info, JPEG_APP0 + 1, exif_name, sizeof exif_name, false);
        r->xmp = marker_data(r->info, JPEG_APP0 + 1, xmp_name, sizeof xmp_name, false);
        r->iptc = marker_data(r->info, JPEG_APP0 + 13, iptc_name, sizeof iptc_name, true);
        r->orientation = exif_orientation(r->exif);
    } catch (const std::bad_alloc&) {
        r->orientation = 1;
    }
    const bool swap = swaps_sides(r->orientation);
    *width = swap ? r->info.output_height : r->info.output_width;
    *height = swap ? r->info.output_width : r->info.output_height;
    return r;
}

bool jpeg_metadata(JpegReader* r, PhotoMeta& meta) {
    try {
        meta.exif = r->exif;
        reset_orientation(meta.exif);
        meta.xmp = r->xmp;
        reset_xmp_orientation(meta.xmp);
        meta.iptc = r->iptc;
        meta.icc.assign(reinterpret_cast<const char*>(r->icc), r->icc_size);
        const bool swap = swaps_sides(r->orientation);
        meta.chroma_across = swap ? r->chroma_down : r->chroma_across;
        meta.chroma_down = swap ? r->chroma_across : r->chroma_down;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

static uint32_t word_of(const unsigned char* p) {
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

// Decodes every row into pixels. An upright picture's rows go in place; a
// turned one's rows go through `row`, each pixel to where it shows, so that
// turning takes no second picture's memory.
static bool read_rows(JpegReader* r, uint32_t* pixels, unsigned char* row) {
    if (setjmp(r->trap.jump)) return false;
    jpeg_start_decompress(&r->info);
    const uint32_t width = r->info.output_width, height = r->info.output_height;
    while (r->info.output_scanline < height) {
        const uint32_t y = r->info.output_scanline;
        JSAMPROW line = r->orientation == 1 ? reinterpret_cast<unsigned char*>(pixels + size_t{width} * y) : row;
        jpeg_read_scanlines(&r->info, &line, 1);
        if (r->orientation != 1) place_row(pixels, row, y, width, height, r->orientation, word_of);
    }
    jpeg_finish_decompress(&r->info);
    return true;
}

bool jpeg_read_pixels(JpegReader* r, uint32_t* pixels, char* error, size_t error_size) {
    const size_t count = size_t{r->info.output_width} * r->info.output_height;
    unsigned char* row = nullptr;
    if (r->orientation != 1 && (row = static_cast<unsigned char*>(std::malloc(size_t{r->info.output_width} * 4))) == nullptr) {
        cannot(error, error_size, "load", r->path, "out of memory");
        return false;
    }
    const bool ok = read_rows(r, pixels, row);
    std::free(row);
    if (!ok) {
        cannot(error, error_size, "load", r->path, r->trap.message);
        return false;
    }
    // Blue, green, red, alpha bytes become one word each, in place.
    const auto* bytes = reinterpret_cast<const unsigned char*>(pixels);
    for (size_t i = 0; i < count && r->orientation == 1; ++i) pixels[i] = word_of(bytes + 4 * i);
    return true;
}

void jpeg_close(JpegReader* r) {
    if (r == nullptr) return;
    if (r->created) jpeg_destroy_decompress(&r->info);
    if (r->file != nullptr) std::fclose(r->file);
    std::free(r->icc);
    delete r;
}

struct JpegWriter {
    AtomicFile out;
    ErrorTrap trap;
    jpeg_compress_struct info;
    bool created = false;
    unsigned char* row = nullptr;
    PhotoMeta meta;  // what is written with the picture, its EXIF fitted to it
};

static bool all_grey(const uint32_t* pixels, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint32_t w = pixels[i];
        if (((w >> 16) & 0xFF) != (w & 0xFF) || ((w >> 8) & 0xFF) != (w & 0xFF)) return false;
    }
    return true;
}

// Writes `data` after `name` and its \0 in one marker, or, when `split`,
// in as many as it takes; data too long for one marker is left out.
static void write_marker(j_compress_ptr info, int marker, const char* name, size_t name_size, const std::string& data,
                         bool split) {
    constexpr size_t most = 65533;  // a marker's length field counts itself
    for (size_t at = 0; at < data.size() && (split || data.size() <= most - name_size);) {
        const size_t part = std::min(data.size() - at, most - name_size);
        jpeg_write_m_header(info, marker, static_cast<unsigned int>(name_size + part));
        for (size_t k = 0; k < name_size; ++k) jpeg_write_m_byte(info, k < std::strlen(name) ? name[k] : 0);
        for (size_t k = at; k < at + part; ++k) jpeg_write_m_byte(info, static_cast<unsigned char>(data[k]));
        at += part;
    }
}

static bool write_image(JpegWriter* w, uint32_t width, uint32_t height, const uint32_t* pixels,
                        const JpegOptions& options, const PhotoMeta* meta) {
    if (setjmp(w->trap.jump)) return false;
    jpeg_create_compress(&w->info);
    w->created = true;
    jpeg_stdio_dest(&w->info, w->out.file);
    const bool grey = all_grey(pixels, size_t{width} * height) && (meta == nullptr || !is_rgb_profile(meta->icc));
    w->info.image_width = width;
    w->info.image_height = height;
    w->info.input_components = grey ? 1 : 3;
    w->info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&w->info);
    jpeg_set_quality(&w->info, options.quality, TRUE);
    if (!grey) {
        // A JPEG file's own sampling is kept; otherwise the chroma is halved
        // both ways below quality 90 and kept whole from there up.
        const bool kept = meta != nullptr && meta->chroma_across > 0;
        w->info.comp_info[0].h_samp_factor = kept ? meta->chroma_across : options.quality < 90 ? 2 : 1;
        w->info.comp_info[0].v_samp_factor = kept ? meta->chroma_down : options.quality < 90 ? 2 : 1;
    }
    if (options.progressive) jpeg_simple_progression(&w->info);
    jpeg_start_compress(&w->info, TRUE);
    if (meta != nullptr) {
        write_marker(&w->info, JPEG_APP0 + 1, exif_name, sizeof exif_name, meta->exif, false);
        write_marker(&w->info, JPEG_APP0 + 1, xmp_name, sizeof xmp_name, meta->xmp, false);
        if (!meta->icc.empty()) {
            jpeg_write_icc_profile(&w->info, reinterpret_cast<const JOCTET*>(meta->icc.data()),
                                   static_cast<unsigned int>(meta->icc.size()));
        }
        write_marker(&w->info, JPEG_APP0 + 13, iptc_name, sizeof iptc_name, meta->iptc, true);
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t* line = pixels + size_t{width} * y;
        for (uint32_t x = 0; x < width; ++x) {
            if (grey) {
                w->row[x] = static_cast<unsigned char>(line[x]);
                continue;
            }
            unsigned char* p = w->row + 3 * size_t{x};
            p[0] = static_cast<unsigned char>(line[x] >> 16);
            p[1] = static_cast<unsigned char>(line[x] >> 8);
            p[2] = static_cast<unsigned char>(line[x]);
        }
        JSAMPROW row = w->row;
        jpeg_write_scanlines(&w->info, &row, 1);
    }
    jpeg_finish_compress(&w->info);
    return true;
}

static void close_writer(JpegWriter* w) {
    if (w->created) jpeg_destroy_compress(&w->info);
    std::free(w->row);
    delete w;
}

bool jpeg_save(const char* path, uint32_t width, uint32_t height, const uint32_t* pixels,
               const JpegOptions& options, char* error, size_t error_size, const PhotoMeta* meta) {
    char reason[300];
    // libjpeg's own limit on a side is 65500.
    if (width == 0 || height == 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION ||
        uint64_t{width} * height > max_pixels) {
        std::snprintf(reason, sizeof reason, "cannot write a picture of %u x %u pixels", width, height);
        cannot(error, error_size, "save", path, reason);
        return false;
    }
    if (options.quality < 1 || options.quality > 100) {
        std::snprintf(reason, sizeof reason, "the quality must be from 1 to 100, got %d", options.quality);
        cannot(error, error_size, "save", path, reason);
        return false;
    }
    auto* w = new (std::nothrow) JpegWriter;
    if (w != nullptr) w->row = static_cast<unsigned char*>(std::malloc(size_t{width} * 3));
    if (w == nullptr || w->row == nullptr) {
        cannot(error, error_size, "save", path, "out of memory");
        if (w != nullptr) close_writer(w);
        return false;
    }
    try {
        if (meta != nullptr) {
            w->meta = *meta;
            fit_exif(w->meta.exif, width, height);
        }
    } catch (const std::bad_alloc&) {
        cannot(error, error_size, "save", path, "out of memory");
        close_writer(w);
        return false;
    }
    trap_errors(w->trap);
    w->info.err = &w->trap.manager;
    if (!atomic_open(&w->out, path, reason, sizeof reason)) {
        cannot(error, error_size, "save", path, reason);
        close_writer(w);
        return false;
    }
    if (!write_image(w, width, height, pixels, options, meta != nullptr ? &w->meta : nullptr)) {
        cannot(error, error_size, "save", path, w->trap.message);
        atomic_abort(&w->out);
        close_writer(w);
        return false;
    }
    const bool committed = atomic_commit(&w->out, reason, sizeof reason);
    if (!committed) cannot(error, error_size, "save", path, reason);
    close_writer(w);
    return committed;
}

}  // namespace rururev::image
