// Internal invariant checks. Valid input never reaches them: they report a
// bug in the library and stop the process.
#pragma once

namespace vokri {

// `message` should end in ". this is a bug, please report it".
[[noreturn]] void fatal(const char* message) noexcept;

}  // namespace vokri
