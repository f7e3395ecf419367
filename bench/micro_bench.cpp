// Frames built and answers checked per second, for the record.

#include <benchmark/benchmark.h>

#include "protocol/field_reader.h"
#include "protocol/attempt_verdict.h"
#include "protocol/frame.h"

namespace {

void BuildFrameL(benchmark::State& state) {
    qmx::TFrameArea area;
    const std::uint8_t payload[] = {'L', '0', '5'};
    for (auto _ : state) {
        benchmark::DoNotOptimize(qmx::BuildFrame(area, payload, 3));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BuildFrameL);

void JudgeLevelAnswer(benchmark::State& state) {
    std::uint8_t answer[43] = {0x02};
    for (int i = 1; i < 41; ++i) answer[i] = '0';
    answer[41] = 0x03;
    std::uint8_t check = 0;
    for (int i = 0; i < 42; ++i) check ^= answer[i];
    answer[42] = check;
    for (auto _ : state) {
        benchmark::DoNotOptimize(qmx::JudgeAnswer(answer, 43, 43));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(JudgeLevelAnswer);

void ReadLevelField(benchmark::State& state) {
    const std::uint8_t field[] = {'0', '0', '1', '2', '3', '4', '5'};
    for (auto _ : state) benchmark::DoNotOptimize(qmx::ReadField(field, 0, 7, 1000));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ReadLevelField);

}  // namespace

BENCHMARK_MAIN();
