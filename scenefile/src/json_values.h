// Reading the values of a scene file: numbers (or tracks of them), integers,
// names, flags, colours, lists and objects, each fault reported as a
// SceneError with the JSON path of the value. The time at which tracks are
// read is set per thread by ReadingAt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "f32.h"
#include "scene_json.h"

namespace vokri_scenefile {

using json = nlohmann::json;

[[noreturn]] void fail(const std::string& path, const std::string& message);
[[noreturn]] void expected(const std::string& path, const std::string& what, const json& got);
std::string member_path(const std::string& path, const std::string& key);
std::string index_path(const std::string& path, size_t i);

// Tracks read during this object's life read their value at `t` seconds.
class ReadingAt {
public:
    explicit ReadingAt(double t);
    ReadingAt(const ReadingAt&) = delete;
    ReadingAt& operator=(const ReadingAt&) = delete;
    ~ReadingAt();

private:
    double previous_;
};

// The time tracks are read at on this thread.
double reading_time();

// A number, or a track of numbers; the strings "NaN", "Infinity" and
// "-Infinity" give the values JSON cannot spell.
double read_number(const json& v, const std::string& path);
// An integral number within [lo, hi].
int64_t read_integer(const json& v, const std::string& path, int64_t lo, int64_t hi);
uint32_t read_u32(const json& v, const std::string& path);
// A u32 field that also takes one of the given names for its values.
uint32_t read_enum(const json& v, const std::string& path, std::initializer_list<const char*> names);
// Enabled flags: true/false or an unsigned integer.
uint32_t read_flag(const json& v, const std::string& path);
// A colour, or a track of colours.
uint32_t read_colour(const json& v, const std::string& path);
const json& read_array(const json& v, const std::string& path, const char* what = "an array");
// Exactly n numbers (or a track of such lists).
void read_numbers(const json& v, const std::string& path, double* out, size_t n);
// A list of tuples of k numbers: an array of arrays of k numbers, or a flat
// array whose length is a multiple of k. Returns the numbers in order.
std::vector<double> read_tuples(const json& v, const std::string& path, size_t k, const char* what);
std::vector<uint32_t> read_u32_tuples(const json& v, const std::string& path, size_t k);

// An object being read: remembers which keys were consumed so that unknown
// keys (usually typos) are reported. Keys starting with '_' are comments.
class Obj {
public:
    Obj(const json& v, std::string path) : v_(v), path_(std::move(path)) {
        if (!v.is_object()) expected(path_.empty() ? "(document)" : path_, "an object", v);
    }

    const json* get(const std::string& key) {
        used_.insert(key);
        auto it = v_.find(key);
        return it == v_.end() ? nullptr : &*it;
    }
    bool has(const std::string& key) const { return v_.contains(key); }
    std::string at(const std::string& key) const { return member_path(path_, key); }
    const std::string& path() const { return path_; }

    const json& required(const std::string& key) {
        const json* j = get(key);
        if (!j) fail(at(key), "missing (required)");
        return *j;
    }

    double number(const std::string& key, double fallback) {
        const json* j = get(key);
        return j ? read_number(*j, at(key)) : fallback;
    }
    uint32_t u32(const std::string& key, uint32_t fallback) {
        const json* j = get(key);
        return j ? read_u32(*j, at(key)) : fallback;
    }
    uint32_t flag(const std::string& key, uint32_t fallback) {
        const json* j = get(key);
        return j ? read_flag(*j, at(key)) : fallback;
    }
    uint32_t colour(const std::string& key, uint32_t fallback) {
        const json* j = get(key);
        return j ? read_colour(*j, at(key)) : fallback;
    }
    uint32_t enumeration(const std::string& key, uint32_t fallback, std::initializer_list<const char*> names) {
        const json* j = get(key);
        return j ? read_enum(*j, at(key), names) : fallback;
    }
    void numbers(const std::string& key, double* out, size_t n) {
        if (const json* j = get(key)) read_numbers(*j, at(key), out, n);
    }
    void floats(const std::string& key, float* out, size_t n) {
        if (const json* j = get(key)) {
            double d[16];
            read_numbers(*j, at(key), d, n);
            for (size_t i = 0; i < n; ++i) out[i] = to_f32(d[i]);
        }
    }
    void transform(double out[6]) {
        static constexpr double kIdentity[6] = {1, 0, 0, 1, 0, 0};
        std::memcpy(out, kIdentity, sizeof kIdentity);
        numbers("transform", out, 6);
    }

    // Reports the first key that was never consumed.
    void finish() const {
        for (auto it = v_.begin(); it != v_.end(); ++it) {
            if (it.key().starts_with("_")) continue;
            if (!used_.count(it.key())) fail(at(it.key()), "unknown field");
        }
    }

private:
    const json& v_;
    std::string path_;
    std::set<std::string> used_;
};

// An optional count field that must not claim more entries than given.
uint32_t count_field(Obj& o, const std::string& key, size_t available, const std::string& what);

// "visible": [start, end]: whether the item is drawn at the reading time.
bool visible_now(Obj& o);

}  // namespace vokri_scenefile
