#include "svg_numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

namespace vokri_scenefile::svg {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

size_t skip_digits(std::string_view text, size_t pos) {
    while (pos < text.size() && is_digit(text[pos])) ++pos;
    return pos;
}

// The exponent's digits as a number, saturated far beyond any double.
int64_t saturated_exponent(std::string_view digits) {
    int64_t e = 0;
    for (char c : digits) e = std::min<int64_t>(e * 10 + (c - '0'), 1'000'000'000);
    return e;
}

// The power of ten of the first non-zero digit of "int.frac": 2 for "123",
// -3 for "0.00123". The mantissa has a non-zero digit.
int64_t leading_power(std::string_view int_digits, std::string_view frac_digits) {
    const size_t i = int_digits.find_first_not_of('0');
    if (i != std::string_view::npos) return static_cast<int64_t>(int_digits.size() - i) - 1;
    return -static_cast<int64_t>(frac_digits.find_first_not_of('0')) - 1;
}

}  // namespace

bool is_svg_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

size_t skip_spaces(std::string_view text, size_t pos) {
    while (pos < text.size() && is_svg_space(text[pos])) ++pos;
    return pos;
}

size_t skip_separator(std::string_view text, size_t pos, bool* comma) {
    pos = skip_spaces(text, pos);
    const bool found = pos < text.size() && text[pos] == ',';
    if (comma) *comma = found;
    return found ? skip_spaces(text, pos + 1) : pos;
}

std::string_view trim_spaces(std::string_view text) {
    size_t begin = skip_spaces(text, 0);
    size_t end = text.size();
    while (end > begin && is_svg_space(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

std::optional<ScannedNumber> scan_number(std::string_view text, size_t pos) {
    size_t p = pos;
    const bool negative = p < text.size() && text[p] == '-';
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
    const size_t int_begin = p;
    const size_t int_end = skip_digits(text, p);
    size_t frac_begin = int_end, frac_end = int_end;
    if (int_end < text.size() && text[int_end] == '.') {
        frac_begin = int_end + 1;
        frac_end = skip_digits(text, frac_begin);
    }
    if (int_end == int_begin && frac_end == frac_begin) return std::nullopt;
    p = frac_end;
    size_t exp_digits = p;
    if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
        size_t q = p + 1;
        if (q < text.size() && (text[q] == '+' || text[q] == '-')) ++q;
        if (q < text.size() && is_digit(text[q])) {
            exp_digits = q;
            p = skip_digits(text, q);
        }
    }

    ScannedNumber n;
    n.end = p;
    // from_chars takes no '+'.
    const size_t from = text[pos] == '+' ? pos + 1 : pos;
    const auto result = std::from_chars(text.data() + from, text.data() + p, n.value);
    if (result.ec == std::errc::result_out_of_range) {
        const auto int_digits = text.substr(int_begin, int_end - int_begin);
        const auto frac_digits = text.substr(frac_begin, frac_end - frac_begin);
        int64_t exponent = 0;
        if (exp_digits != frac_end) {
            exponent = saturated_exponent(text.substr(exp_digits, p - exp_digits));
            if (text[exp_digits - 1] == '-') exponent = -exponent;
        }
        const bool underflow = leading_power(int_digits, frac_digits) + exponent < 0;
        const double huge = std::numeric_limits<double>::infinity();
        n.value = underflow ? 0.0 : (negative ? -huge : huge);
    }
    n.in_range = std::isfinite(n.value) && std::fabs(n.value) <= kMaxSvgMagnitude;
    return n;
}

}  // namespace vokri_scenefile::svg
