// Times an operation against peers or floors in the same benchmark run: all
// run once per iteration, the benchmark's time is the operation's, and the
// counters give each peer's time and the ratios.
#pragma once

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>

namespace vbench {

// op, then each peer, every iteration; returns the mean seconds of each
// (op first), or nothing when the state ran no iteration.
template <class Op, class... Peers>
std::array<double, 1 + sizeof...(Peers)> run_timed(benchmark::State& state, Op&& op, Peers&&... peers) {
    using clock = std::chrono::steady_clock;
    std::array<double, 1 + sizeof...(Peers)> total{};
    int64_t n = 0;
    for (auto _ : state) {
        auto t = clock::now();
        auto lap = [&t](double& sum) {
            const auto now = clock::now();
            const double s = std::chrono::duration<double>(now - t).count();
            sum += s;
            t = now;
            return s;
        };
        op();
        state.SetIterationTime(lap(total[0]));
        size_t k = 1;
        ((peers(), lap(total[k++])), ...);
        ++n;
    }
    for (double& s : total) s = n > 0 ? s / static_cast<double>(n) : 0.0;
    return total;
}

template <class Op, class Peer>
void run_pair(benchmark::State& state, Op&& op, Peer&& peer) {
    const auto t = run_timed(state, op, peer);
    if (t[1] <= 0) return;
    state.counters["vokri_ms"] = t[0] * 1e3;
    state.counters["peer_ms"] = t[1] * 1e3;
    state.counters["ratio"] = t[0] / t[1];
}

// The operation against Cairo in both of its anti-aliasing modes: the
// default mode (more samples than vokri) and CAIRO_ANTIALIAS_FAST (4 x 4
// samples, like vokri: the like-for-like peer).
template <class Op, class Cairo, class CairoFast>
void run_vs_cairo(benchmark::State& state, Op&& op, Cairo&& cairo, CairoFast&& cairo_fast) {
    const auto t = run_timed(state, op, cairo, cairo_fast);
    if (t[1] <= 0 || t[2] <= 0) return;
    state.counters["vokri_ms"] = t[0] * 1e3;
    state.counters["cairo_ms"] = t[1] * 1e3;
    state.counters["cairo_fast_ms"] = t[2] * 1e3;
    state.counters["vs_cairo"] = t[0] / t[1];
    state.counters["vs_cairo_fast"] = t[0] / t[2];
}

}  // namespace vbench
