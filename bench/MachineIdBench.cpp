// The first identifier is calculated on the UI thread while the window is built.
#include "telemetry/CPCIDCalculator.h"

#include <benchmark/benchmark.h>
#include <cstdio>

namespace {

void BM_CalculatePCID(benchmark::State& state) {
    inkwarden::MachineDigest digest{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(inkwarden::CPCIDCalculator::CalculatePCID(digest));
    }
}
BENCHMARK(BM_CalculatePCID)->Unit(benchmark::kMicrosecond);

void BM_MachineIdText(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(inkwarden::MachineIdText());
    }
}
BENCHMARK(BM_MachineIdText)->Unit(benchmark::kMicrosecond);

} // namespace
