#include "animation.h"

#include <algorithm>
#include <cmath>

namespace vokri_scenefile {

TrackPosition locate(const std::vector<double>& times, double t, Ease ease) {
    if (!(t > times.front())) return {0, 0.0};
    if (t >= times.back()) return {times.size() - 1, 0.0};
    // The last key at or before t.
    const size_t i = static_cast<size_t>(std::upper_bound(times.begin(), times.end(), t) - times.begin()) - 1;
    double u = (t - times[i]) / (times[i + 1] - times[i]);
    switch (ease) {
    case Ease::linear: break;
    case Ease::smooth: u = u * u * (3.0 - 2.0 * u); break;
    case Ease::hold: u = 0.0; break;
    }
    return {i, u};
}

uint32_t mix_colour(uint32_t a, uint32_t b, double u) {
    uint32_t out = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const double ca = static_cast<double>(a >> shift & 0xFFu);
        const double cb = static_cast<double>(b >> shift & 0xFFu);
        const double c = std::floor((1.0 - u) * ca + u * cb + 0.5);
        out |= static_cast<uint32_t>(std::clamp(c, 0.0, 255.0)) << shift;
    }
    return out;
}

}  // namespace vokri_scenefile
