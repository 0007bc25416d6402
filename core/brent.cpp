#include "core/brent.hpp"

#include <cmath>
#include <stdexcept>

namespace qvl {

double minimise_miss(const std::function<double(double)>& f, double target, double lower,
                     double upper, double tol, int max_iter) {
    constexpr double golden = 0.3819660112501051;  // (3 - sqrt(5)) / 2
    constexpr double tol_floor = 1e-14;
    const auto g = [&](double x) {
        const double r = f(x) - target;
        return r * r;
    };

    double a = lower;
    double b = upper;
    double x = a + golden * (b - a);
    double w = x;
    double v = x;
    double gx = g(x);
    double gw = gx;
    double gv = gx;
    double d = 0.0;
    double e = 0.0;

    for (int iter = 0; iter < max_iter; ++iter) {
        const double tol1 = tol * std::fabs(x) + tol_floor;
        const double tol2 = 2.0 * tol1;
        const double m = 0.5 * (a + b);
        if (std::fabs(x - m) <= tol2 - 0.5 * (b - a)) return x;

        bool golden_step = true;
        if (std::fabs(e) > tol1) {
            const double r = (x - w) * (gx - gv);
            double q = (x - v) * (gx - gw);
            double p = (x - v) * q - (x - w) * r;
            q = 2.0 * (q - r);
            if (q > 0.0) {
                p = -p;
            } else {
                q = -q;
            }
            const double e_old = e;
            e = d;
            if (!(std::fabs(p) >= std::fabs(0.5 * q * e_old) || p <= q * (a - x) ||
                  p >= q * (b - x))) {
                golden_step = false;
                d = p / q;
                // Keep the trial point off the bracket ends.
                if ((x + d) - a < tol2 || b - (x + d) < tol2) d = m <= x ? -tol1 : tol1;
            }
        }
        if (golden_step) {
            e = x >= m ? a - x : b - x;
            d = golden * e;
        }

        double u;
        if (std::fabs(d) >= tol1) {
            u = x + d;
        } else {
            u = d > 0.0 ? x + tol1 : x - tol1;
        }
        const double gu = g(u);

        // An equal residual counts as an improvement; a NaN residual never does.
        if (gu <= gx) {
            if (u >= x) {
                a = x;
            } else {
                b = x;
            }
            v = w;
            gv = gw;
            w = x;
            gw = gx;
            x = u;
            gx = gu;
        } else {
            if (u < x) {
                a = u;
            } else {
                b = u;
            }
            if (gu <= gw || w == x) {
                v = w;
                gv = gw;
                w = u;
                gw = gu;
            } else if (gu <= gv || v == x || v == w) {
                v = u;
                gv = gu;
            }
        }
    }
    throw std::runtime_error("Brent's method did not converge");
}

}  // namespace qvl
