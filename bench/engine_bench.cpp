// ConvertValue and the registry lookups on the standard catalogue, measured
// against the bare arithmetic of one conversion: one x87 extended multiply,
// rounded to double, one extended divide, rounded to double, and nothing
// else. Every measurement is a dependent chain (each result feeds the next
// call), so latency is compared with latency; the chains run interleaved and
// repeated, and the fastest repetition of each counts, which is what a run
// undisturbed by the machine's other work would show. At the end the ratios
// are printed; the targets are ConvertValue within 3x the bare arithmetic
// and two threads converting at 1.6x the throughput of one.

#include <benchmark/benchmark.h>

#include <algorithm>
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

constexpr const char* ConversionsPerIteration = "conversions";

// Kilograms and Pounds in grams.
constexpr double KilogramFactor = 1000.0;
constexpr double PoundFactor = 453.59237;

// The value leaves the x87 stack as a double here and comes back from
// memory, so the compiler can neither merge nor reorder the steps nor drop
// the chain. (benchmark::DoNotOptimize may pick a register for a double and
// let the compiler read a stale copy, which cut the chain.)
inline void KeepApart(double& value) {
  asm volatile("" : "+m"(value));
}

inline double BareConversion(double value, double toBase, double fromBase) {
  double base = static_cast<double>(static_cast<long double>(value) * toBase);
  KeepApart(base);
  double result = static_cast<double>(static_cast<long double>(base) / fromBase);
  KeepApart(result);
  return result;
}

// Kilograms to Pounds and back: two conversions per iteration.
void BareArithmetic(benchmark::State& state) {
  double kilograms = KilogramFactor;
  double pounds = PoundFactor;
  benchmark::DoNotOptimize(kilograms);
  benchmark::DoNotOptimize(pounds);
  double value = 1.0;
  for (auto _ : state) {
    value = BareConversion(value, kilograms, pounds);
    value = BareConversion(value, pounds, kilograms);
  }
  state.SetItemsProcessed(2 * state.iterations());
  state.counters[ConversionsPerIteration] = benchmark::Counter(2, benchmark::Counter::kAvgThreads);
}
BENCHMARK(BareArithmetic);

void ConvertKilogramsPounds(benchmark::State& state) {
  const TConvType kilograms = TypeOf("Mass", "Kilograms");
  const TConvType pounds = TypeOf("Mass", "Pounds");
  double value = 1.0;
  for (auto _ : state) {
    value = ConvertValue(value, kilograms, pounds);
    value = ConvertValue(value, pounds, kilograms);
    KeepApart(value);
  }
  state.SetItemsProcessed(2 * state.iterations());
  state.counters[ConversionsPerIteration] = benchmark::Counter(2, benchmark::Counter::kAvgThreads);
}
BENCHMARK(ConvertKilogramsPounds);

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
BENCHMARK(ConvertKilogramsPounds)->Name("ConvertOnThreads")->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BareArithmetic)->Name("ArithmeticOnThreads")->Threads(1)->Threads(2)->UseRealTime();

// Keeps, over the repetitions, each run's fastest processor time per
// conversion (the latency of a chain that runs undisturbed) and each threaded
// run's highest throughput over wall time.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) {
        continue;
      }
      const auto conversions = run.counters.find(ConversionsPerIteration);
      const double perIteration =
          conversions == run.counters.end() ? 1.0 : conversions->second.value;
      const std::string name = run.benchmark_name();
      const double nanoseconds = run.GetAdjustedCPUTime() / perIteration;
      if (FNanoseconds.count(name) == 0 || nanoseconds < FNanoseconds[name]) {
        FNanoseconds[name] = nanoseconds;
      }
      const auto items = run.counters.find("items_per_second");
      if (items != run.counters.end() && items->second.value > FItemsPerSecond[name]) {
        FItemsPerSecond[name] = items->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    const double bare = Time("BareArithmetic");
    const double convert = Time("ConvertKilogramsPounds");
    if (bare > 0 && convert > 0) {
      std::printf(
          "\nPer conversion, Kilograms to Pounds and back, fastest of the repetitions:\n"
          "  bare arithmetic %6.1f ns\n  ConvertValue    %6.1f ns\n"
          "  ratio           %6.2fx (target <= 3.00)\n",
          bare, convert, convert / bare);
      for (const char* name : {"ConvertFactorToProcedure", "FamilyLookup", "ListVolumeTypes"}) {
        if (Time(name) > 0) {
          std::printf("  %-24s %6.1f ns  %5.2fx the bare arithmetic\n", name, Time(name),
                      Time(name) / bare);
        }
      }
    }
    const double one = Items("ConvertOnThreads/real_time/threads:1");
    const double two = Items("ConvertOnThreads/real_time/threads:2");
    if (one > 0 && two > 0) {
      std::printf("Two threads converting against one: %.2fx the throughput (target >= 1.60)\n",
                  two / one);
    }
    // Each thread's processor time per conversion, which the machine's other
    // load barely touches: equal on one and on two threads means the threads
    // do not slow each other down (no shared cache line, no lock wait), and
    // two threads with a core each would reach twice the throughput.
    const double cpuOne = Time("ConvertOnThreads/real_time/threads:1");
    const double cpuTwo = Time("ConvertOnThreads/real_time/threads:2");
    if (cpuOne > 0 && cpuTwo > 0) {
      std::printf(
          "Processor time per conversion, one thread %.1f ns, each of two %.1f ns: %.2fx the "
          "throughput with a core per thread\n",
          cpuOne, cpuTwo, 2 * cpuOne / cpuTwo);
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
  // Repeated and interleaved unless the command line says otherwise (later
  // arguments win), so a burst of load on the shared machine hits every
  // chain alike and cannot decide a ratio.
  std::vector<char*> args(argv, argv + argc);
  char repetitions[] = "--benchmark_repetitions=5";
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, {repetitions, interleave});
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
    return 1;
  }
  korvalen::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
