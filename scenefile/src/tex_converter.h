// Formulas turned into SVG by the project's MathJax converter, a Node script
// (tex/convert.mjs) run as one long-lived process that every frame and
// thread of the process shares: it starts with the first formula that is
// not cached and serves every later one over a socket, one line of JSON
// each way.
#pragma once

#include <string>

#include "result.h"

namespace vokri_scenefile {

struct TexRequest {
    std::string tex;
    bool display = true;  // display style; false for inline (text) style
};

// The converter's folder and a version that changes whenever its script or
// its pinned packages do.
struct TexConverterFiles {
    std::string dir;
    std::string version;
};

// The converter in the first of these folders that has its script:
// $VOKRI_TEX_CONVERTER, share/vokri/tex beside the library's lib folder (an
// installed library), and the source tree's scenefile/tex. Fails with what
// to do when none has it or its packages are not installed.
Result<TexConverterFiles, std::string> find_tex_converter();

// Why a formula has no SVG.
struct TexFailure {
    std::string message;
    // The formula itself failed (a TeX error, a converter that stopped or
    // took too long on it): asking again gives the same answer. False when
    // the converter could not be started at all.
    bool lasting = true;
};

// One formula's SVG, or the reason there is none: MathJax's own message for
// a TeX error, what to install when Node.js is missing, and a converter that
// stopped or took longer than 10 s (it is started again for the next
// formula). Node is $VOKRI_NODE, else "node" on the PATH.
Result<std::string, TexFailure> convert_tex(const TexConverterFiles& converter, const TexRequest& request);

}  // namespace vokri_scenefile
