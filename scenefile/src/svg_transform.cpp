#include "svg_transform.h"

#include "svg_numbers.h"

namespace vokri_scenefile::svg {
namespace {

struct Call {
    std::string_view name;
    double args[6] = {};
    int count = 0;
};

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

class TransformParser {
public:
    TransformParser(std::string_view text, const Where& where) : text_(text), where_(where) {}

    Affine run() {
        Affine m;
        pos_ = skip_spaces(text_, 0);
        while (pos_ < text_.size()) {
            m = m * make(read_call());
            bool comma = false;
            pos_ = skip_separator(text_, pos_, &comma);
            if (comma && pos_ == text_.size()) refuse();
        }
        return m;
    }

private:
    [[noreturn]] void refuse() const { where_.not_a(text_, "a transform list"); }

    void expect(char c) {
        pos_ = skip_spaces(text_, pos_);
        if (pos_ >= text_.size() || text_[pos_] != c) refuse();
        ++pos_;
    }

    Call read_call() {
        Call call;
        const size_t begin = pos_;
        while (pos_ < text_.size() && is_letter(text_[pos_])) ++pos_;
        call.name = text_.substr(begin, pos_ - begin);
        expect('(');
        pos_ = skip_spaces(text_, pos_);
        while (pos_ < text_.size() && text_[pos_] != ')') {
            const auto n = scan_number(text_, pos_);
            if (!n || call.count == 6) refuse();
            if (!n->in_range) where_.out_of_range(text_.substr(pos_, n->end - pos_));
            call.args[call.count++] = n->value;
            bool comma = false;
            pos_ = skip_separator(text_, n->end, &comma);
            if (comma && pos_ < text_.size() && text_[pos_] == ')') refuse();
        }
        expect(')');
        return call;
    }

    Affine make(const Call& c) const {
        const double* a = c.args;
        if (c.name == "matrix" && c.count == 6) return {a[0], a[1], a[2], a[3], a[4], a[5]};
        if (c.name == "translate" && (c.count == 1 || c.count == 2)) return Affine::translate(a[0], a[1]);
        if (c.name == "scale" && (c.count == 1 || c.count == 2)) return Affine::scale(a[0], c.count == 2 ? a[1] : a[0]);
        if (c.name == "rotate" && (c.count == 1 || c.count == 3)) {
            return Affine::translate(a[1], a[2]) * Affine::rotate(a[0]) * Affine::translate(-a[1], -a[2]);
        }
        if ((c.name == "skewX" || c.name == "skewY") && c.count == 1) {
            if (cos_sin_degrees(a[0]).cos == 0) where_.fail("a skew by an odd multiple of 90 degrees is out of range");
            return c.name == "skewX" ? Affine::skew_x(a[0]) : Affine::skew_y(a[0]);
        }
        refuse();
    }

    std::string_view text_;
    const Where& where_;
    size_t pos_ = 0;
};

}  // namespace

Affine parse_transform_list(std::string_view text, const Where& where) { return TransformParser(text, where).run(); }

}  // namespace vokri_scenefile::svg
