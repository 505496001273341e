// ConvertValue and the registry lookups on the standard catalogue, measured
// against the bare arithmetic of one conversion (extended multiply, round,
// extended divide, round). Every measurement is a dependent chain: each
// result feeds the next call, so latency is compared with latency. At the
// end the ratios are printed; the targets are ConvertValue within 4x the bare
// arithmetic and two threads converting at 1.6x the throughput of one.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/ConvUtils.h"
#include "engine/StdConvs.h"
#include "platform/runtime/FloatSteps.h"

namespace korvalen {
namespace {

TConvType TypeOf(const char* family, const char* description) {
  TConvFamilyId familyId = IllegalFamilyId;
  TConvType type = IllegalTypeId;
  FamilyFromDescription(family, familyId);
  TypeFromDescription(familyId, description, type);
  return type;
}

void BareArithmetic(benchmark::State& state) {
  double value = 1.0;
  for (auto _ : state) {
    value = fpu::Divide(fpu::Multiply(value, 0.001), 0.001);
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BareArithmetic);

void ConvertFactorToFactor(benchmark::State& state) {
  const TConvType liters = TypeOf("Volume", "Liters");
  const TConvType cubicDecimeters = TypeOf("Volume", "CubicDecimeters");
  double value = 1.0;
  for (auto _ : state) {
    value = ConvertValue(value, liters, cubicDecimeters);
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ConvertFactorToFactor);

void ConvertFactorToProcedure(benchmark::State& state) {
  const TConvType celsius = TypeOf("Temperature", "Celsius");
  const TConvType kelvin = TypeOf("Temperature", "Kelvin");
  double value = 1.0;
  for (auto _ : state) {
    // Adds 273.15 per call: far from any limit within a run.
    value = ConvertValue(value, celsius, kelvin);
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(ConvertFactorToProcedure);

void FamilyLookup(benchmark::State& state) {
  // The family found feeds the next description chosen.
  static const std::string descriptions[2] = {"Mass", "Time"};
  TConvFamilyId family = 4;
  for (auto _ : state) {
    FamilyFromDescription(descriptions[family & 1], family);
    benchmark::DoNotOptimize(family);
  }
}
BENCHMARK(FamilyLookup);

void ListVolumeTypes(benchmark::State& state) {
  TConvFamilyId family = TypeOf("Volume", "Liters") != IllegalTypeId ? 3 : 0;
  TConvTypeArray types;
  for (auto _ : state) {
    TypesOfFamily(family, types);
    family = static_cast<TConvFamilyId>(types.size() == 48 ? 3 : 0);
    benchmark::DoNotOptimize(family);
  }
}
BENCHMARK(ListVolumeTypes);

// The same chains on one and on two threads, over wall time: the bare
// arithmetic shows how far the machine itself lets two threads scale at this
// moment, against which the conversion's scaling is read.
BENCHMARK(ConvertFactorToFactor)->Name("ConvertOnThreads")->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BareArithmetic)->Name("ArithmeticOnThreads")->Threads(1)->Threads(2)->UseRealTime();

// Keeps each run's processor time per iteration (steady on a shared machine,
// and the same as the latency of a chain that runs undisturbed) and each
// threaded run's throughput over wall time.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) {
        continue;
      }
      FNanoseconds[run.benchmark_name()] = run.GetAdjustedCPUTime();
      const auto items = run.counters.find("items_per_second");
      if (items != run.counters.end()) {
        FItemsPerSecond[run.benchmark_name()] = items->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    const double baseline = Time("BareArithmetic");
    if (baseline > 0) {
      std::printf(
          "\nProcessor time against the bare arithmetic (%.1f ns); target <= 4.0 for "
          "ConvertFactorToFactor:\n",
          baseline);
      for (const char* name : {"ConvertFactorToFactor", "ConvertFactorToProcedure", "FamilyLookup",
                               "ListVolumeTypes"}) {
        if (Time(name) > 0) {
          std::printf("  %-26s %8.1f ns  %5.2fx\n", name, Time(name), Time(name) / baseline);
        }
      }
    }
    const double one = Items("ConvertOnThreads/real_time/threads:1");
    const double two = Items("ConvertOnThreads/real_time/threads:2");
    if (one > 0 && two > 0) {
      std::printf("Two threads converting against one: %.2fx the throughput (target >= 1.60)\n",
                  two / one);
    }
    const double bareOne = Items("ArithmeticOnThreads/real_time/threads:1");
    const double bareTwo = Items("ArithmeticOnThreads/real_time/threads:2");
    if (bareOne > 0 && bareTwo > 0) {
      std::printf(
          "Two threads on bare arithmetic against one: %.2fx (what the machine allows now)\n",
          bareTwo / bareOne);
    }
  }

 private:
  double Time(const std::string& name) const {
    const auto it = FNanoseconds.find(name);
    return it == FNanoseconds.end() ? 0.0 : it->second;
  }
  double Items(const std::string& name) const {
    const auto it = FItemsPerSecond.find(name);
    return it == FItemsPerSecond.end() ? 0.0 : it->second;
  }

  std::map<std::string, double> FNanoseconds;
  std::map<std::string, double> FItemsPerSecond;
};

}  // namespace
}  // namespace korvalen

int main(int argc, char** argv) {
  korvalen::fpu::InitEnvironment();
  const korvalen::TConvRegistryScope registry;
  const korvalen::TStandardUnitsScope standardUnits;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  korvalen::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
