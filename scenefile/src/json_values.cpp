#include "json_values.h"

#include <cmath>
#include <limits>
#include <sstream>

#include <nlohmann/json.hpp>

#include "colour.h"
#include "f32.h"

namespace vokri_scenefile {

namespace {

// The time, in seconds, at which the document being built reads its tracks.
// Set for the length of one build on its thread.
thread_local double tl_time = 0.0;

// Tracks: an object {"keys": [[t, value], ...], "ease": ...} where a number,
// a colour or a fixed-length array of numbers is expected. Defined below.
double number_track(const json& v, const std::string& path);
uint32_t colour_track(const json& v, const std::string& path);
void numbers_track(const json& v, const std::string& path, double* out, size_t n);

}  // namespace

ReadingAt::ReadingAt(double t) : previous_(tl_time) { tl_time = t; }
ReadingAt::~ReadingAt() { tl_time = previous_; }
double reading_time() { return tl_time; }

[[noreturn]] void fail(const std::string& path, const std::string& message) {
    throw SceneError(path, message);
}

std::string member_path(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

std::string index_path(const std::string& path, size_t i) {
    return path + "[" + std::to_string(i) + "]";
}

namespace {

const char* type_name(const json& v) {
    switch (v.type()) {
    case json::value_t::null: return "null";
    case json::value_t::object: return "an object";
    case json::value_t::array: return "an array";
    case json::value_t::string: return "a string";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::binary: return "binary data";
    case json::value_t::discarded: return "nothing";
    default: return "a number";
    }
}

}  // namespace

[[noreturn]] void expected(const std::string& path, const std::string& what, const json& got) {
    fail(path, "expected " + what + ", got " + type_name(got));
}

// ---- scalar values --------------------------------------------------------

// A number; the strings "NaN", "Infinity" and "-Infinity" give the values
// JSON cannot spell.
double read_number(const json& v, const std::string& path) {
    if (v.is_number()) return v.get<double>();
    if (v.is_object()) return number_track(v, path);
    if (v.is_string()) {
        const auto& s = v.get_ref<const std::string&>();
        if (s == "NaN" || s == "nan") return std::numeric_limits<double>::quiet_NaN();
        if (s == "Infinity" || s == "inf") return std::numeric_limits<double>::infinity();
        if (s == "-Infinity" || s == "-inf") return -std::numeric_limits<double>::infinity();
        fail(path, "expected a number, got the string \"" + s + "\"");
    }
    expected(path, "a number", v);
}


// An integral number within [lo, hi].
int64_t read_integer(const json& v, const std::string& path, int64_t lo, int64_t hi) {
    const std::string want = "an integer from " + std::to_string(lo) + " to " + std::to_string(hi);
    if (v.is_number_unsigned()) {
        const auto u = v.get<uint64_t>();
        if (u > static_cast<uint64_t>(hi) || static_cast<int64_t>(u) < lo) fail(path, "expected " + want + ", got " + std::to_string(u));
        return static_cast<int64_t>(u);
    }
    if (v.is_number_integer()) {
        const auto i = v.get<int64_t>();
        if (i < lo || i > hi) fail(path, "expected " + want + ", got " + std::to_string(i));
        return i;
    }
    if (v.is_number_float()) {
        const double d = v.get<double>();
        if (!(d >= static_cast<double>(lo) && d <= static_cast<double>(hi)) || std::trunc(d) != d) {
            std::ostringstream s;
            s << d;
            fail(path, "expected " + want + ", got " + s.str());
        }
        return static_cast<int64_t>(d);
    }
    expected(path, want, v);
}

uint32_t read_u32(const json& v, const std::string& path) {
    return static_cast<uint32_t>(read_integer(v, path, 0, 0xFFFFFFFFll));
}

// A u32 field that also takes one of the given names for its values.
uint32_t read_enum(const json& v, const std::string& path, std::initializer_list<const char*> names) {
    if (v.is_string()) {
        const auto& s = v.get_ref<const std::string&>();
        uint32_t k = 0;
        std::string list;
        for (const char* n : names) {
            if (s == n) return k;
            list += (k ? ", \"" : "\"") + std::string(n) + "\"";
            ++k;
        }
        fail(path, "unknown name \"" + s + "\" (expected one of " + list + " or an integer)");
    }
    return read_u32(v, path);
}

// Enabled flags: true/false or an unsigned integer.
uint32_t read_flag(const json& v, const std::string& path) {
    if (v.is_boolean()) return v.get<bool>() ? 1u : 0u;
    if (v.is_number()) return read_u32(v, path);
    expected(path, "true, false or an integer", v);
}

uint32_t read_colour(const json& v, const std::string& path) {
    if (auto c = parse_colour(v)) return *c;
    if (v.is_object()) return colour_track(v, path);
    if (v.is_string())
        fail(path, "expected a colour (\"#RRGGBBAA\", \"#RRGGBB\", \"#RGB\" or a CSS name), got \"" +
                       v.get<std::string>() + "\"");
    expected(path, "a colour (\"#RRGGBBAA\", \"#RRGGBB\", \"#RGB\", a CSS name or an integer 0xRRGGBBAA)", v);
}

const json& read_array(const json& v, const std::string& path, const char* what) {
    if (!v.is_array()) expected(path, what, v);
    return v;
}

// Exactly n numbers.
void read_numbers(const json& v, const std::string& path, double* out, size_t n) {
    const std::string what = "an array of " + std::to_string(n) + " numbers";
    if (v.is_object()) return numbers_track(v, path, out, n);
    if (!v.is_array()) expected(path, what, v);
    if (v.size() != n) fail(path, "expected " + what + ", got " + std::to_string(v.size()) + " entries");
    for (size_t i = 0; i < n; ++i) out[i] = read_number(v[i], index_path(path, i));
}

// A list of tuples of k numbers: either an array of arrays of k numbers, or a
// flat array of numbers whose length is a multiple of k. Returns the numbers
// in order.
std::vector<double> read_tuples(const json& v, const std::string& path, size_t k, const char* what) {
    read_array(v, path, "an array");
    std::vector<double> out;
    if (v.empty()) return out;
    out.reserve(v.size() * (v[0].is_array() ? k : 1));
    if (v[0].is_array()) {
        for (size_t i = 0; i < v.size(); ++i) {
            const std::string p = index_path(path, i);
            const json& e = v[i];
            if (!e.is_array()) expected(p, "an array of " + std::to_string(k) + " numbers (" + what + ")", e);
            if (e.size() != k)
                fail(p, "expected " + std::to_string(k) + " numbers (" + what + "), got " +
                            std::to_string(e.size()));
            for (size_t j = 0; j < k; ++j) out.push_back(read_number(e[j], index_path(p, j)));
        }
    } else {
        for (size_t i = 0; i < v.size(); ++i) out.push_back(read_number(v[i], index_path(path, i)));
        if (out.size() % k != 0)
            fail(path, "a flat list of " + std::string(what) + " needs a multiple of " + std::to_string(k) +
                           " numbers, got " + std::to_string(out.size()));
    }
    return out;
}

std::vector<uint32_t> read_u32_tuples(const json& v, const std::string& path, size_t k) {
    read_array(v, path, "an array");
    std::vector<uint32_t> out;
    for (size_t i = 0; i < v.size(); ++i) {
        const std::string p = index_path(path, i);
        if (v[i].is_array()) {
            if (v[i].size() != k)
                fail(p, "expected " + std::to_string(k) + " integers, got " + std::to_string(v[i].size()));
            for (size_t j = 0; j < k; ++j) out.push_back(read_u32(v[i][j], index_path(p, j)));
        } else {
            out.push_back(read_u32(v[i], p));
        }
    }
    return out;
}

// ---- objects ---------------------------------------------------------------

namespace {

// ---- tracks -----------------------------------------------------------------

Ease read_ease(const json& v, const std::string& path) {
    if (v.is_string()) {
        const auto& s = v.get_ref<const std::string&>();
        if (s == "linear") return Ease::linear;
        if (s == "smooth") return Ease::smooth;
        if (s == "hold") return Ease::hold;
        fail(path, "unknown ease \"" + s + "\" (expected \"linear\", \"smooth\" or \"hold\")");
    }
    expected(path, "an ease name (\"linear\", \"smooth\" or \"hold\")", v);
}

// Reads and checks a whole track, every key, whatever the time: a fault in
// any key shows on the first frame built. `read_value(json, path)` reads one
// key's value as a constant. Returns the keys' values and where the current
// time falls among them.
template <class T, class ReadValue>
std::pair<std::vector<T>, TrackPosition> read_track(const json& v, const std::string& path, ReadValue read_value) {
    Obj o(v, path);
    const json& keys = o.required("keys");
    const std::string keys_path = o.at("keys");
    if (!keys.is_array()) expected(keys_path, "an array of [time, value] keys", keys);
    if (keys.empty()) fail(keys_path, "a track needs at least one key");
    Ease ease = Ease::linear;
    if (const json* e = o.get("ease")) ease = read_ease(*e, o.at("ease"));
    o.finish();
    std::vector<double> times;
    std::vector<T> values;
    for (size_t i = 0; i < keys.size(); ++i) {
        const std::string key_path = index_path(keys_path, i);
        const json& key = keys[i];
        if (!key.is_array() || key.size() != 2) fail(key_path, "expected a key [time, value]");
        const std::string time_path = index_path(key_path, 0), value_path = index_path(key_path, 1);
        if (!key[0].is_number() || !std::isfinite(key[0].get<double>()))
            fail(time_path, "expected a finite time in seconds");
        const double t = key[0].get<double>();
        if (!times.empty() && !(t > times.back())) {
            std::ostringstream previous;
            previous << times.back();
            fail(time_path, "key times must increase (the key before is at " + previous.str() + " s)");
        }
        if (key[1].is_object()) fail(value_path, "a key's value must be a constant, not a track");
        times.push_back(t);
        values.push_back(read_value(key[1], value_path));
    }
    return {std::move(values), locate(times, tl_time, ease)};
}

double finite_number(const json& v, const std::string& path) {
    const double d = read_number(v, path);
    if (!std::isfinite(d)) fail(path, "a key's value must be finite");
    return d;
}

double number_track(const json& v, const std::string& path) {
    const auto [values, at] = read_track<double>(v, path, finite_number);
    return at.u == 0.0 ? values[at.index] : mix(values[at.index], values[at.index + 1], at.u);
}

uint32_t colour_track(const json& v, const std::string& path) {
    const auto [values, at] = read_track<uint32_t>(v, path, read_colour);
    return at.u == 0.0 ? values[at.index] : mix_colour(values[at.index], values[at.index + 1], at.u);
}

void numbers_track(const json& v, const std::string& path, double* out, size_t n) {
    const auto [values, at] = read_track<std::vector<double>>(v, path, [n](const json& value, const std::string& p) {
        if (value.is_array())
            for (size_t i = 0; i < value.size(); ++i)
                if (value[i].is_object()) fail(index_path(p, i), "a key's value must be a constant, not a track");
        std::vector<double> d(n);
        read_numbers(value, p, d.data(), n);
        for (size_t i = 0; i < n; ++i)
            if (!std::isfinite(d[i])) fail(index_path(p, i), "a key's value must be finite");
        return d;
    });
    for (size_t i = 0; i < n; ++i)
        out[i] = at.u == 0.0 ? values[at.index][i] : mix(values[at.index][i], values[at.index + 1][i], at.u);
}

}  // namespace

// An optional count field that must not claim more entries than given.
uint32_t count_field(Obj& o, const std::string& key, size_t available, const std::string& what) {
    const json* j = o.get(key);
    if (!j) {
        if (available > 0xFFFFFFFFull) fail(o.path(), "more " + what + " than a u32 count can hold");
        return static_cast<uint32_t>(available);
    }
    const uint32_t n = read_u32(*j, o.at(key));
    if (n > available)
        fail(o.at(key), std::to_string(n) + " exceeds the " + std::to_string(available) + " " + what + " given");
    return n;
}

// "visible": [start, end]: the item is drawn from start up to, not
// including, end (seconds).
bool visible_now(Obj& o) {
    const json* j = o.get("visible");
    if (!j) return true;
    double span[2];
    read_numbers(*j, o.at("visible"), span, 2);
    for (size_t i = 0; i < 2; ++i)
        if (!std::isfinite(span[i]) && !(i == 1 && span[i] > 0))
            fail(index_path(o.at("visible"), i), "expected a finite time in seconds");
    if (!(span[0] <= span[1])) fail(o.at("visible"), "the start must not come after the end");
    return span[0] <= tl_time && tl_time < span[1];
}


}  // namespace vokri_scenefile
