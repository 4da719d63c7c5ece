// Formulas as SVG drawings, converted once: kept in memory for the process
// and on disk ($XDG_CACHE_HOME/vokri, else ~/.cache/vokri) across runs, keyed
// by the formula, its options and the converter's version. A formula found
// in either cache never starts the converter.
#pragma once

#include <memory>
#include <string>

#include "result.h"
#include "svg.h"
#include "tex_converter.h"

namespace vokri_scenefile {

// The drawing of `request`, or the message of why there is none (a TeX
// error, a converter missing or failing, an SVG it made that cannot be
// read).
Result<std::shared_ptr<const SvgDocument>, std::string> tex_document(const TexRequest& request);

}  // namespace vokri_scenefile
