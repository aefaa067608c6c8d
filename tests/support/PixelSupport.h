// Reading pictures in the overlay's drawing coordinates (origin lower left,
// y upward) for pixel tests.
#pragma once

#include <cairo.h>
#include <cstdint>
#include <cstring>

namespace zed::test {

struct Argb {
    int a = 0;
    int r = 0;
    int g = 0;
    int b = 0;

    bool isWhite() const { return a == 255 && r == 255 && g == 255 && b == 255; }
    bool isBlack() const { return r == 0 && g == 0 && b == 0; }
};

inline Argb Unpack(std::uint32_t p) {
    return {static_cast<int>(p >> 24), static_cast<int>((p >> 16) & 0xff),
            static_cast<int>((p >> 8) & 0xff), static_cast<int>(p & 0xff)};
}

// The pixel covering [x, x+1] x [y, y+1] in drawing coordinates.
inline Argb At(cairo_surface_t* s, int x, int y) {
    const int height = cairo_image_surface_get_height(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    std::uint32_t p;
    std::memcpy(&p, data + static_cast<std::size_t>(height - 1 - y) * stride + 4 * x, sizeof p);
    return Unpack(p);
}

} // namespace zed::test
