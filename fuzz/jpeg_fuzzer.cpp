// Feeds arbitrary bytes to the picture module's JPEG reader as a file; see
// reader_fuzzing.h for what it must do with them.
#include "image/jpeg_io.h"
#include "reader_fuzzing.h"

// Huffman coding spends a bit or more on each block of the first scan, so a
// file claims at most 8 x 64 x 16 pixels a byte (blocks of 64 pixels, the
// component sampled at worst 1/16 as finely). Arithmetic coding can claim the
// limit from a few bytes, too slow to decode here: over 2^22 pixels, a
// picture is only opened.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace rururev::image;
    const bool arithmetic = memmem(data, size, "\xFF\xC9", 2) || memmem(data, size, "\xFF\xCA", 2);
    const uint64_t most_claimed = arithmetic ? max_pixels : 8192 * (uint64_t{size} + 1);
    return fuzzing::read_picture(data, size, jpeg_open, jpeg_read_pixels, jpeg_close, most_claimed,
                                 uint64_t{1} << 22);
}
