#include "svg_path_data.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "svg_numbers.h"

namespace vokri_scenefile {
namespace svg {

// ---- PathBuilder --------------------------------------------------------------

void PathBuilder::move_to(Point p) {
    end_subpath(false);
    start_ = current_ = p;
}

void PathBuilder::line_to(Point p) {
    const Point s = current_;
    const double dx = (p.x - s.x) / 3.0, dy = (p.y - s.y) / 3.0;
    cubic_to({s.x + dx, s.y + dy}, {p.x - dx, p.y - dy}, p);
}

void PathBuilder::quad_to(Point control, Point p) {
    const Point s = current_;
    cubic_to({s.x + 2.0 * (control.x - s.x) / 3.0, s.y + 2.0 * (control.y - s.y) / 3.0},
             {p.x + 2.0 * (control.x - p.x) / 3.0, p.y + 2.0 * (control.y - p.y) / 3.0}, p);
}

void PathBuilder::cubic_to(Point c1, Point c2, Point p) {
    data_.segments.push_back({current_.x, current_.y, c1.x, c1.y, c2.x, c2.y, p.x, p.y});
    current_ = p;
}

void PathBuilder::close() {
    if (size() > subpath_first_) {
        if (current_.x != start_.x || current_.y != start_.y) line_to(start_);
        end_subpath(true);
    }
    current_ = start_;
}

PathData PathBuilder::finish() {
    end_subpath(false);
    PathData out = std::move(data_);
    data_ = {};
    subpath_first_ = 0;
    return out;
}

void PathBuilder::end_subpath(bool closed) {
    if (size() == subpath_first_) return;
    data_.subpath_ends.push_back(static_cast<uint32_t>(size()));
    data_.subpath_closed.push_back(closed ? 1 : 0);
    subpath_first_ = size();
}

// ---- arcs ---------------------------------------------------------------------

namespace {

// An arc of the unit circle around `centre`, from angle `from` turning by
// `turn`, in the frame where the ellipse is that circle.
struct UnitArc {
    Point centre;
    double from = 0, turn = 0;
};

// The arc through the half-chord (a, b) of the unit frame, whose length is
// `length`, in (0, 1]: the endpoints are (a, b) and (-a, -b) from the
// chord's middle. A chord of length 1 is a diameter.
UnitArc unit_arc(double a, double b, double length, bool large_arc, bool sweep) {
    // The centre lies on the chord's normal (b, -a) / length.
    const double offset = (large_arc != sweep ? 1.0 : -1.0) * std::sqrt(std::max(0.0, 1.0 - length * length));
    UnitArc u;
    u.centre = {offset * (b / length), -offset * (a / length)};
    const Point v1{a - u.centre.x, b - u.centre.y};
    const Point v2{-a - u.centre.x, -b - u.centre.y};
    u.from = std::atan2(v1.y, v1.x);
    u.turn = std::atan2(v1.x * v2.y - v1.y * v2.x, v1.x * v2.x + v1.y * v2.y);
    const double full = 2.0 * std::numbers::pi;
    if (!sweep && u.turn > 0) u.turn -= full;
    if (sweep && u.turn < 0) u.turn += full;
    return u;
}

}  // namespace

void arc_to(PathBuilder& path, const ArcTo& arc) {
    const Point start = path.current();
    const Point end = arc.end;
    if (start.x == end.x && start.y == end.y) return;
    double rx = std::fabs(arc.rx), ry = std::fabs(arc.ry);
    if (rx == 0 || ry == 0) {
        path.line_to(end);
        return;
    }

    // The half-chord in the ellipse's axes, then in the frame where the
    // ellipse is the unit circle.
    const CosSin r = cos_sin_degrees(arc.rotation_degrees);
    const double hx = (start.x - end.x) / 2.0, hy = (start.y - end.y) / 2.0;
    double a = (r.cos * hx + r.sin * hy) / rx;
    double b = (r.cos * hy - r.sin * hx) / ry;
    const double s = std::hypot(a, b);
    if (!std::isfinite(s) || s == 0) {
        path.line_to(end);
        return;
    }
    if (s > 1) {  // the radii grow until the chord is a diameter
        rx *= s;
        ry *= s;
        a /= s;
        b /= s;
    }
    const UnitArc u = unit_arc(a, b, std::min(s, 1.0), arc.large_arc, arc.sweep);

    const Point middle{(start.x + end.x) / 2.0, (start.y + end.y) / 2.0};
    auto user = [&](double ux, double uy) {
        const double ex = rx * (u.centre.x + ux), ey = ry * (u.centre.y + uy);
        return Point{middle.x + r.cos * ex - r.sin * ey, middle.y + r.sin * ex + r.cos * ey};
    };
    const double quarter = std::numbers::pi / 2.0;
    const int pieces = std::clamp(static_cast<int>(std::ceil(std::fabs(u.turn) / quarter - 1e-9)), 1, 4);
    const double step = u.turn / pieces;
    const double kappa = 4.0 / 3.0 * std::tan(step / 4.0);
    for (int i = 0; i < pieces; ++i) {
        const double t0 = u.from + step * i, t1 = i + 1 == pieces ? u.from + u.turn : t0 + step;
        const double c0 = std::cos(t0), s0 = std::sin(t0), c1 = std::cos(t1), s1 = std::sin(t1);
        const Point p1 = i + 1 == pieces ? end : user(c1, s1);
        path.cubic_to(user(c0 - kappa * s0, s0 + kappa * c0), user(c1 + kappa * s1, s1 - kappa * c1), p1);
    }
}

// ---- the grammar --------------------------------------------------------------

namespace {

bool is_command(char c) {
    switch (c) {
        case 'M': case 'm': case 'L': case 'l': case 'H': case 'h': case 'V': case 'v':
        case 'C': case 'c': case 'S': case 's': case 'Q': case 'q': case 'T': case 't':
        case 'A': case 'a': case 'Z': case 'z':
            return true;
        default:
            return false;
    }
}

int argument_count(char command) {
    switch (ascii_lower(command)) {
        case 'h': case 'v': return 1;
        case 'm': case 'l': case 't': return 2;
        case 's': case 'q': return 4;
        case 'c': return 6;
        case 'a': return 7;
        default: return 0;
    }
}

Point reflected(Point control, Point about) { return {2.0 * about.x - control.x, 2.0 * about.y - control.y}; }

class PathParser {
public:
    explicit PathParser(std::string_view d) : d_(d) {}
    PathData run();

private:
    bool read_arguments(char command, double* args);
    bool read_number(double& out);
    bool read_flag(double& out);
    void after_argument();
    void fail(size_t at, bool out_of_range = false);
    void apply(char command, const double* args);

    std::string_view d_;
    size_t pos_ = 0;
    bool comma_pending_ = false;  // a comma was read, so an argument must follow
    PathBuilder path_;
    char previous_ = 0;  // the last command applied, in lower case
    Point last_control_;
    size_t error_at_ = std::string_view::npos;
    bool out_of_range_ = false;
};

PathData PathParser::run() {
    pos_ = skip_spaces(d_, 0);
    if (pos_ < d_.size() && ascii_lower(d_[pos_]) != 'm') fail(pos_);
    char command = 0;
    while (error_at_ == std::string_view::npos && pos_ < d_.size() && path_.size() <= kMaxSvgSegments) {
        const char c = d_[pos_];
        if (is_command(c) && !comma_pending_) {
            command = c;
            pos_ = skip_spaces(d_, pos_ + 1);
        } else if (ascii_lower(command) == 'z') {
            fail(pos_);  // Z takes no arguments
            break;
        } else if (ascii_lower(command) == 'm') {
            command = command == 'M' ? 'L' : 'l';  // a moveto's further pairs are linetos
        }
        double args[7];
        if (read_arguments(command, args)) apply(command, args);
    }
    if (comma_pending_ && error_at_ == std::string_view::npos) fail(pos_);
    PathData out = path_.finish();
    out.error_at = error_at_;
    out.out_of_range = out_of_range_;
    return out;
}

bool PathParser::read_arguments(char command, double* args) {
    const bool arc = ascii_lower(command) == 'a';
    for (int i = 0; i < argument_count(command); ++i) {
        const bool flag = arc && (i == 3 || i == 4);
        if (!(flag ? read_flag(args[i]) : read_number(args[i]))) return false;
    }
    return true;
}

bool PathParser::read_number(double& out) {
    const auto n = scan_number(d_, pos_);
    if (!n || !n->in_range) {
        fail(pos_, n.has_value());
        return false;
    }
    out = n->value;
    pos_ = n->end;
    after_argument();
    return true;
}

bool PathParser::read_flag(double& out) {
    if (pos_ >= d_.size() || (d_[pos_] != '0' && d_[pos_] != '1')) {
        fail(pos_);
        return false;
    }
    out = d_[pos_] == '1' ? 1 : 0;
    ++pos_;
    after_argument();
    return true;
}

void PathParser::after_argument() {
    pos_ = skip_spaces(d_, pos_);
    comma_pending_ = pos_ < d_.size() && d_[pos_] == ',';
    if (comma_pending_) pos_ = skip_spaces(d_, pos_ + 1);
}

void PathParser::fail(size_t at, bool out_of_range) {
    error_at_ = at;
    out_of_range_ = out_of_range;
}

void PathParser::apply(char command, const double* a) {
    const char kind = ascii_lower(command);
    const bool relative = command == kind;
    const Point cur = path_.current();
    auto at = [&](double x, double y) { return relative ? Point{cur.x + x, cur.y + y} : Point{x, y}; };
    switch (kind) {
        case 'm': path_.move_to(at(a[0], a[1])); break;
        case 'l': path_.line_to(at(a[0], a[1])); break;
        case 'h': path_.line_to({relative ? cur.x + a[0] : a[0], cur.y}); break;
        case 'v': path_.line_to({cur.x, relative ? cur.y + a[0] : a[0]}); break;
        case 'c':
        case 's': {
            const bool smooth = kind == 's';
            const Point c1 = !smooth ? at(a[0], a[1])
                             : previous_ == 'c' || previous_ == 's' ? reflected(last_control_, cur)
                                                                     : cur;
            const double* rest = smooth ? a : a + 2;
            last_control_ = at(rest[0], rest[1]);
            path_.cubic_to(c1, last_control_, at(rest[2], rest[3]));
            break;
        }
        case 'q':
        case 't': {
            const bool smooth = kind == 't';
            last_control_ = !smooth ? at(a[0], a[1])
                            : previous_ == 'q' || previous_ == 't' ? reflected(last_control_, cur)
                                                                    : cur;
            const double* rest = smooth ? a : a + 2;
            path_.quad_to(last_control_, at(rest[0], rest[1]));
            break;
        }
        case 'a': arc_to(path_, {a[0], a[1], a[2], a[3] != 0, a[4] != 0, at(a[5], a[6])}); break;
        default: path_.close(); break;
    }
    previous_ = kind;
}

}  // namespace
}  // namespace svg

PathData parse_path_data(std::string_view d) { return svg::PathParser(d).run(); }

}  // namespace vokri_scenefile
