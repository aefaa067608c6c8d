// Prints the driver's acceleration curve as numbers, for the plot in the
// README (docs/plot-acceleration.py draws it): one line per speed in counts
// per frame, the gain for each amount on the first line.
#include "Driver/Acceleration.h"

#include <cstdio>

int main() {
    const double amounts[] = {0.25, 0.5, 1.0, 2.0, 3.0};
    std::printf("speed");
    for (double a : amounts) {
        std::printf(" %.2f", a);
    }
    std::printf("\n");
    for (double speed = 0.0; speed <= 80.0; speed += 0.5) {
        std::printf("%.1f", speed);
        for (double a : amounts) {
            std::printf(" %.5f", zed::driver::accelerationGain(speed, a));
        }
        std::printf("\n");
    }
    return 0;
}
