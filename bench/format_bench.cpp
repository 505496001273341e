// FormatResult on one million doubles spread log-uniformly over 1e-10 to
// 1e20, against snprintf("%.2f") and std::to_chars (fixed, 2 decimals) on the
// same values in the same run. Prints the ratios at the end.

#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "format/FormatResult.h"

namespace {

const std::vector<double>& Values() {
  static const std::vector<double> values = [] {
    std::mt19937_64 random(0x4B6F7276616C656EULL);
    std::uniform_real_distribution<double> exponent(-10.0, 20.0);
    std::vector<double> result(1'000'000);
    for (double& value : result) {
      value = std::pow(10.0, exponent(random));
    }
    return result;
  }();
  return values;
}

template <typename Format>
void RunOverValues(benchmark::State& state, Format format) {
  const std::vector<double>& values = Values();
  std::size_t i = 0;
  for (auto _ : state) {
    format(values[i]);
    if (++i == values.size()) {
      i = 0;
    }
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_FormatResult(benchmark::State& state) {
  korvalen::SetNumberSeparators('.', ',');
  RunOverValues(state, [](double value) {
    std::string text = korvalen::FormatResult(value);
    benchmark::DoNotOptimize(text);
  });
}
BENCHMARK(BM_FormatResult);

void BM_Snprintf(benchmark::State& state) {
  RunOverValues(state, [](double value) {
    char text[64];
    benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%.2f", value));
    benchmark::ClobberMemory();
  });
}
BENCHMARK(BM_Snprintf);

void BM_ToChars(benchmark::State& state) {
  RunOverValues(state, [](double value) {
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  });
}
BENCHMARK(BM_ToChars);

// Keeps each benchmark's time per value so the ratios can be printed last.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // With repetitions the median stands for the benchmark.
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      if (run.run_type == Run::RT_Aggregate ? run.aggregate_name == "median"
                                            : FNanoseconds.count(name) == 0) {
        FNanoseconds[name] = run.GetAdjustedCPUTime();
      }
    }
  }
  void PrintRatios() const {
    const auto time = [this](const char* name) {
      const auto it = FNanoseconds.find(name);
      return it == FNanoseconds.end() ? std::nan("") : it->second;
    };
    const double format = time("BM_FormatResult");
    std::printf("snprintf / FormatResult: %.2fx (target >= 2)\n", time("BM_Snprintf") / format);
    std::printf("FormatResult / to_chars: %.2fx (target <= 1.5)\n", format / time("BM_ToChars"));
  }

 private:
  std::map<std::string, double> FNanoseconds;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Values();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
