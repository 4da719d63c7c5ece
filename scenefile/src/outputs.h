// Frames written as files: the renderer's PNG, straight-alpha PNG or raw
// pixels, each appearing whole or not at all, in folders made as needed.
#pragma once

#include <cstdint>
#include <string>

#include "failure.h"
#include "vokri_scenefile.h"

namespace vokri_scenefile {

// `mode` is one of VOKRI_SCENEFILE_RGB0, _RGBA0, _PNG, _PNG_ALPHA; `path`
// may be "-" (standard output). Returns the status; on failure fills `f`.
int32_t render_file(const VokriSceneRecords& r, int32_t mode, const std::string& path, Failure& f);

// Writes `path` as a copy of the file `from` (a held frame's output is the
// earlier frame's), whole or not at all.
int32_t copy_output(const std::string& from, const std::string& path, Failure& f);

// Removes the temporary files ".NAME.tmp.XXXXXX" beside `path`; returns how
// many there were.
int32_t remove_stale_temporaries(const std::string& path);

// Creates the folder of `path` and its parents; false with `error` set.
bool make_parent_folders(const std::string& path, std::string& error);

}  // namespace vokri_scenefile
