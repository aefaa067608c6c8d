// Reading pictures for pixel tests: in the overlay's drawing coordinates
// (origin lower left, y upward) or by rows from the top, and comparing what
// is on screen with a picture laid over what was under it.
#pragma once

#include "Platform/overlay/DrawingHandles.h"

#include <algorithm>
#include <cairo.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

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

// The pixel at column x of row y, rows from the top.
inline Argb Pixel(cairo_surface_t* s, int x, int y) {
    return At(s, x, cairo_image_surface_get_height(s) - 1 - y);
}

// A premultiplied pixel laid over an opaque one.
inline Argb Over(Argb top, Argb under) {
    const auto mix = [&](int t, int u) {
        return std::min(255, t + (u * (255 - top.a) + 127) / 255);
    };
    return {255, mix(top.r, under.r), mix(top.g, under.g), mix(top.b, under.b)};
}

// The largest difference of a colour channel.
inline int Difference(Argb a, Argb b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

// A PNG file as a picture; null when it cannot be read.
inline CairoSurfacePtr ReadPng(const std::string& path) {
    CairoSurfacePtr image(cairo_image_surface_create_from_png(path.c_str()));
    if (cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS) {
        return nullptr;
    }
    cairo_surface_flush(image.get());
    return image;
}

} // namespace zed::test
