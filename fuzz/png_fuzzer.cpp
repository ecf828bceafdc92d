// Feeds arbitrary bytes to the picture module's PNG reader as a file; see
// reader_fuzzing.h for what it must do with them.
#include "image/png_io.h"
#include "reader_fuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace rururev::image;
    return fuzzing::read_picture(data, size, png_open, png_read_pixels, png_close);
}
