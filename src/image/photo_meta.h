// What a photo says about itself besides its pixels: the colour profile
// (ICC), the camera's metadata (EXIF), XMP, IPTC and a JPEG file's chroma
// sampling, kept from a loaded picture to the one saved from it, and the
// EXIF orientation, by which a JPEG or PNG picture is turned upright on
// loading as viewers show it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace rururev::image {

struct PhotoMeta {
    std::string icc;   // the ICC profile, whole
    std::string exif;  // the EXIF data from its TIFF header on ("II*\0" or "MM\0*")
    std::string xmp;   // the XMP packet
    std::string iptc;  // a JPEG file's APP13 data (IPTC in resource blocks), after its "Photoshop 3.0" name
    // A colour JPEG file's chroma sampling as the upright picture has it: 1
    // every pixel, 2 every other one, across and down; 0 when not from one.
    int chroma_across = 0, chroma_down = 0;
};

// The EXIF orientation, 1 to 8; 1 (upright) when there is none or it is
// malformed.
int exif_orientation(const std::string& exif);

// Sets the orientation to 1, where there is one: the saved pixels are upright.
void reset_orientation(std::string& exif);

// Makes EXIF data true of a saved width x height picture: its sizes (in
// IFD0 and the Exif IFD) become those, and its thumbnail (IFD1), which shows
// the picture before any filter or turn, is unlinked.
void fit_exif(std::string& exif, uint32_t width, uint32_t height);

// Sets an XMP packet's tiff:Orientation, where it has one, to 1.
void reset_xmp_orientation(std::string& xmp);

// Whether a picture of that orientation is turned a quarter: its width and
// height swap.
inline bool swaps_sides(int orientation) { return orientation >= 5 && orientation <= 8; }

// Where the stored pixel (x, y) of a width x height picture shows in the
// upright one (whose sides are swapped for orientations 5 to 8).
size_t upright_index(uint32_t x, uint32_t y, uint32_t width, uint32_t height, int orientation);

// Puts row y of a stored width x height picture, 4 bytes a pixel, where each
// of its pixels shows upright; `word_of` makes a pixel's word of its bytes.
template <typename WordOf>
void place_row(uint32_t* pixels, const unsigned char* row, uint32_t y, uint32_t width, uint32_t height,
               int orientation, WordOf word_of) {
    for (uint32_t x = 0; x < width; ++x) {
        pixels[upright_index(x, y, width, height, orientation)] = word_of(row + 4 * size_t{x});
    }
}

// Moves every pixel of a stored width x height picture to where upright_index
// puts it, in place, for a picture that cannot be placed row by row; false,
// with the pixels untouched, when out of memory.
bool turn_upright(uint32_t* pixels, uint32_t width, uint32_t height, int orientation);

// Whether the ICC profile is for RGB pixels (a grey picture then keeps its
// three channels, so that the profile stays valid for it).
bool is_rgb_profile(const std::string& icc);

}  // namespace rururev::image
