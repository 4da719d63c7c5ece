// The exit codes of vokri-render.
#pragma once

namespace vokri_tool {

inline constexpr int kExitLibraryError = 1;  // the library reported an error
inline constexpr int kExitUsage = 2;         // bad command line
inline constexpr int kExitScene = 3;         // bad scene file
inline constexpr int kExitRejected = 4;      // the library rejected the arguments (a frame or pixel outside the scene)
inline constexpr int kExitOutput = 5;        // the output could not be written (or ffmpeg failed)
// Interrupted by signal s: 128 + s, as shells report it.

}  // namespace vokri_tool
