// The one way the benchmarks measure: a subject against its baseline, in
// alternating batches within one run, so that both see the same machine (the
// same load from other processes, the same caches, the same clock speed).
// Each round times one batch of each, the order swapped every round; the
// figure reported is the median of the rounds' ratios, which a burst of
// outside load in one round does not move.
#ifndef QVNSTARTLOG_BENCH_RATIO_H
#define QVNSTARTLOG_BENCH_RATIO_H

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace qvnbench {

// One side of a comparison: prepare runs before each batch, outside the
// timing (to put a log back to its starting size, say); run is what is timed.
struct Side {
  std::function<void()> prepare;
  std::function<void()> run;
};

struct Comparison {
  double subjectMicroseconds;   // median time of one subject call
  double baselineMicroseconds;  // median time of one baseline call
  double ratio;                 // median of the rounds' subject/baseline ratios
};

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// now() gives seconds from any fixed origin.
inline Comparison Compare(double (*now)(), int rounds, int batch, const Side& subject,
                          const Side& baseline) {
  const auto timeBatch = [&](const Side& side) {
    if (side.prepare) {
      side.prepare();
    }
    const double begin = now();
    for (int i = 0; i < batch; ++i) {
      side.run();
    }
    return (now() - begin) * 1e6 / batch;
  };
  // One untimed round first: page faults, lazy binding and cold caches are
  // paid by neither side's figures.
  timeBatch(subject);
  timeBatch(baseline);
  std::vector<double> subjectTimes;
  std::vector<double> baselineTimes;
  std::vector<double> ratios;
  for (int round = 0; round < rounds; ++round) {
    double subjectTime = 0;
    double baselineTime = 0;
    if (round % 2 == 0) {
      subjectTime = timeBatch(subject);
      baselineTime = timeBatch(baseline);
    } else {
      baselineTime = timeBatch(baseline);
      subjectTime = timeBatch(subject);
    }
    subjectTimes.push_back(subjectTime);
    baselineTimes.push_back(baselineTime);
    ratios.push_back(subjectTime / baselineTime);
  }
  return {Median(subjectTimes), Median(baselineTimes), Median(ratios)};
}

inline void PrintHeader() {
  std::printf("%-52s %12s %12s %7s %6s\n", "subject against baseline", "subject", "baseline",
              "ratio", "goal");
}

// One row of the table; false when the goal is missed. A goal of 0: no goal,
// the ratio is there to be read.
inline bool PrintRow(const char* what, const Comparison& result, double goal) {
  const bool met = goal <= 0 || result.ratio <= goal;
  std::printf("%-52s %9.2f us %9.2f us %6.2fx", what, result.subjectMicroseconds,
              result.baselineMicroseconds, result.ratio);
  if (goal > 0) {
    std::printf(" %5.1fx %s\n", goal, met ? "met" : "MISSED");
  } else {
    std::printf(" %6s\n", "-");
  }
  (void)std::fflush(stdout);
  return met;
}

}  // namespace qvnbench

#endif  // QVNSTARTLOG_BENCH_RATIO_H
