// Reading and writing parameter files of growing size: the reader's time must grow with the
// file's size, not faster. Prints the 10 MB / 1 MB ratio at the end.

#include "params/parameter_set.h"
#include "params/user_interaction.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#ifndef MORAVEL_TEMPLATE_FILE
#error "MORAVEL_TEMPLATE_FILE must name the template parameter file"
#endif

namespace {

class SilentInteraction : public moravel::UserInteraction {
public:
    void showMessage(std::string_view) override {}
};

const std::string& templateText()
{
    static const std::string text = [] {
        std::ifstream in(MORAVEL_TEMPLATE_FILE, std::ios::binary);
        return std::string{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }();
    return text;
}

// The template's lines repeated up to size bytes (every key many times: the last one wins).
std::string repeatedTemplate(std::size_t size)
{
    std::string text;
    text.reserve(size + templateText().size());
    while (text.size() < size)
        text += templateText();
    return text;
}

// One line whose comment fills the file.
std::string oneLongLine(std::size_t size) { return "0100=0.5 %" + std::string(size, 'x') + "\n"; }

void readText(benchmark::State& state, const std::string& text)
{
    SilentInteraction ui;
    for (auto _ : state) {
        moravel::ParameterSet set;
        benchmark::DoNotOptimize(set.ReadText(text, ui));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["bytes"] = static_cast<double>(text.size());
}

void BM_ReadText(benchmark::State& state, std::string (*make)(std::size_t), std::size_t size)
{
    const std::string text = make ? make(size) : templateText();
    readText(state, text);
}

void BM_WriteText(benchmark::State& state)
{
    moravel::ParameterSet set;
    SilentInteraction ui;
    set.ReadText(templateText(), ui);
    for (auto _ : state)
        benchmark::DoNotOptimize(set.WriteText());
}

constexpr std::size_t kMiB = 1 << 20;
BENCHMARK_CAPTURE(BM_ReadText, template_45_lines, nullptr, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ReadText, lines_1MB, &repeatedTemplate, 1 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadText, lines_10MB, &repeatedTemplate, 10 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadText, one_line_1MB, &oneLongLine, 1 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadText, one_line_10MB, &oneLongLine, 10 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteText)->Unit(benchmark::kMicrosecond);

// Keeps the real time per benchmark name for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    // The one-line files cost one copy of their comment each; their times only show that a
    // long line costs no more than its bytes (the 1 MB copy stays in the cache, 10 MB do not).
    const auto small = reporter.times.find("BM_ReadText/lines_1MB");
    const auto large = reporter.times.find("BM_ReadText/lines_10MB");
    if (small != reporter.times.end() && large != reporter.times.end())
        std::printf("lines: 10 MB / 1 MB = %.2f (linear time gives about 10)\n", large->second / small->second);
    benchmark::Shutdown();
    return 0;
}
