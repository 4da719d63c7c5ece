// The rasterizer's geometric shortcuts (the flattening window, edges folded
// into counts beside the fill box, outline points thinned beyond the
// Surface) leave every painted pixel as the plain definition paints it. They
// can be switched off process-wide so that tests compare the two.
#pragma once

namespace vokri::raster_shortcuts {

// Whether fills and strokes take the shortcuts (on unless switched off).
bool enabled() noexcept;

// Switches the shortcuts on or off for every later fill and stroke.
void set_enabled(bool on) noexcept;

}  // namespace vokri::raster_shortcuts
