#pragma once

#include <cmath>

namespace qvl {

// Neumaier's compensated sum: the leg values add dozens of terms of mixed size, and the
// reference figures are reproduced to the last digit only with the rounding errors carried.
class CompensatedSum {
  public:
    void add(double x) {
        const double t = sum_ + x;
        if (std::fabs(sum_) >= std::fabs(x)) {
            compensation_ += (sum_ - t) + x;
        } else {
            compensation_ += (x - t) + sum_;
        }
        sum_ = t;
    }
    double value() const { return sum_ + compensation_; }

  private:
    double sum_ = 0.0;
    double compensation_ = 0.0;
};

// x rounded to a multiple of 1 / scale (scale a power of ten), halves away from zero.
inline double round_to(double x, double scale) {
    return std::round(x * scale) / scale;
}

}  // namespace qvl
