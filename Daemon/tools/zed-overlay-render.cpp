// zed-overlay-render VALUE [VALUE] [-o FILE] [--scale N]: writes the
// sensitivity panel for one value (overall) or two (X, then Y) as a PNG
// picture, at N pixels a point, so it can be looked at or compared without a
// display.
#include "Daemon/SensDrawer.h"
#include "Platform/core/Log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Usage() {
    std::fputs("usage: zed-overlay-render VALUE [VALUE] [-o FILE] [--scale N]\n"
               "  writes the sensitivity panel for one value, or X and Y, as PNG\n"
               "  at N pixels a point, 1 to 8 (default FILE: overlay.png, N: 1)\n",
               stderr);
    return 2;
}

bool ParseValue(const char* text, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0';
}

} // namespace

int main(int argc, char** argv) {
    std::vector<double> values;
    std::string output = "overlay.png";
    int scale = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scale") == 0) {
            double value = 0;
            if (++i == argc || !ParseValue(argv[i], value) || value != static_cast<int>(value) ||
                value < 1 || value > zed::kMaxPictureScale)
                return Usage();
            scale = static_cast<int>(value);
            continue;
        }
        if (std::strcmp(argv[i], "-o") == 0) {
            if (++i == argc)
                return Usage();
            output = argv[i];
            continue;
        }
        double value = 0;
        if (!ParseValue(argv[i], value)) {
            zed::log("not a number: %s", argv[i]);
            return Usage();
        }
        values.push_back(value);
    }
    if (values.empty() || values.size() > 2)
        return Usage();

    zed::CairoSurfacePtr picture =
        zed::createSliderImage(values.data(), static_cast<unsigned>(values.size()), scale);
    const cairo_status_t status = cairo_surface_write_to_png(picture.get(), output.c_str());
    if (status != CAIRO_STATUS_SUCCESS) {
        zed::log("cannot write %s: %s", output.c_str(), cairo_status_to_string(status));
        return 1;
    }
    std::printf("%s: %d x %d\n", output.c_str(), cairo_image_surface_get_width(picture.get()),
                cairo_image_surface_get_height(picture.get()));
    return 0;
}
