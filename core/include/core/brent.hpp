#pragma once

#include <functional>

namespace qvl {

// Minimises (f(x) - target)^2 over [lower, upper] with Brent's method and returns the best
// point. Throws std::runtime_error "Brent's method did not converge" after max_iter iterations.
double brent_solve(const std::function<double(double)>& f, double target, double lower,
                   double upper, double tol, int max_iter);

}  // namespace qvl
