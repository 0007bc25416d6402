#pragma once

#include <functional>

namespace qvl {

// The point of [lower, upper] where f comes closest to target: Brent's minimisation (golden
// sections and parabolic steps) of the squared miss (f(x) - target)^2. It stops once the
// bracket around the best point is within tol of it (relative, plus 1e-14) and returns that
// point. It is no root finder: when f never reaches target it still returns the closest point
// it found, often next to a bound, and the caller judges whether the miss is small enough.
// Throws std::runtime_error "Brent's method did not converge" after max_iter iterations.
double minimise_miss(const std::function<double(double)>& f, double target, double lower,
                     double upper, double tol, int max_iter);

}  // namespace qvl
