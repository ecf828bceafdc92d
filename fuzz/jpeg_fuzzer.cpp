// Feeds arbitrary bytes to the picture module's JPEG reader as a file; see
// reader_fuzzing.h for what it must do with them.
#include "image/jpeg_io.h"
#include "reader_fuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace rururev::image;
    return fuzzing::read_picture(data, size, jpeg_open, jpeg_read_pixels, jpeg_close);
}
