// Times an operation against a peer or floor in the same benchmark run:
// both run once per iteration, the benchmark's time is the operation's, and
// the counters give the peer's time and the ratio.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>

namespace vbench {

template <class Op, class Peer>
void run_pair(benchmark::State& state, Op&& op, Peer&& peer) {
    using clock = std::chrono::steady_clock;
    double op_total = 0, peer_total = 0;
    int64_t n = 0;
    for (auto _ : state) {
        auto t0 = clock::now();
        op();
        auto t1 = clock::now();
        peer();
        auto t2 = clock::now();
        double a = std::chrono::duration<double>(t1 - t0).count();
        op_total += a;
        peer_total += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(a);
        ++n;
    }
    if (n > 0) {
        state.counters["vokri_ms"] = op_total / n * 1e3;
        state.counters["peer_ms"] = peer_total / n * 1e3;
        state.counters["ratio"] = op_total / peer_total;
    }
}

}  // namespace vbench
