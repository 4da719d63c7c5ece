#pragma once

#include "common/error.h"

namespace vokri {

// Writes prefix, error name and a newline to standard error as one line,
// under the stream's lock. Write failures are ignored.
void report_error(const char* prefix, Error e) noexcept;

}  // namespace vokri
