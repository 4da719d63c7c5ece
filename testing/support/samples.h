// Sample scenes that together use every item kind and most of their
// variants, with the caller memory (point lists, rasters, meshes...) they
// point to. Shared by the allocation-failure, threading and limit tests and by
// the fuzz corpus generator.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/scene.h"

namespace vt {

struct Sample {
    std::string name;
    int32_t width = 64;
    int32_t height = 48;
    double scale = 10;
    uint32_t probe_x = 32, probe_y = 24;  // pick probe
    TestScene scene;
    std::vector<std::shared_ptr<void>> storage;  // caller memory the records point to

    // Keeps `v` alive as long as the sample (and its copies) and returns its data.
    template <class T>
    const T* keep(std::vector<T> v) {
        auto p = std::make_shared<std::vector<T>>(std::move(v));
        storage.push_back(p);
        return p->data();
    }
    // Bit k set: the scene has an item of kind k.
    uint32_t kinds() const;
};

// Every sample, each on a small canvas. The last one uses every kind at once.
std::vector<Sample> sample_scenes();

// Scenes whose one item is invalid: every export fails with an error of
// the item's kind (InvalidDrawItem for kinds not drawn yet).
std::vector<Sample> failing_samples();

// Export prefixes of the error line.
inline constexpr const char* kRgba0Prefix = "vokri scene rgba0 render error: ";
inline constexpr const char* kRgb0Prefix = "vokri scene rgb0 render error: ";
inline constexpr const char* kFramePrefix = "vokri scene render error: ";
inline constexpr const char* kPickPrefix = "vokri scene pick error: ";

}  // namespace vt
