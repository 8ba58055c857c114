#pragma once
// Timing helpers shared by the benchmarks: medians of repeated runs.
#include <QElapsedTimer>
#include <algorithm>
#include <functional>
#include <vector>

namespace Timing {

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The median time of `runs` runs, in milliseconds.
inline double MedianMs(int runs, const std::function<void()>& run) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer t;
    t.start();
    run();
    times.push_back(t.nsecsElapsed() / 1e6);
  }
  return Median(times);
}

}  // namespace Timing
