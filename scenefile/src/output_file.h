// Output files that appear whole or not at all: the bytes go to a temporary
// file beside the target, which is renamed over the target once complete.
// The target "-" is standard output, fed from a temporary file elsewhere.
#pragma once

#include <string>

namespace vokri_scenefile {

class OutputFile {
public:
    explicit OutputFile(std::string target) : target_(std::move(target)) {}
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Removes the temporary file unless commit() succeeded.
    ~OutputFile();

    // Creates the temporary file; false with `error` set when it cannot be
    // created (a missing or unwritable folder).
    bool open(std::string& error);
    // Where the bytes go until commit().
    const std::string& temp_path() const { return temp_; }
    // Renames the temporary file over the target, or copies it to standard
    // output; false with `error` set on failure.
    bool commit(std::string& error);

private:
    std::string target_;
    std::string temp_;
    bool committed_ = false;
};

}  // namespace vokri_scenefile
