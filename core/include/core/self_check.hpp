#pragma once

#include <memory>
#include <string>

#include "core/qvl_swap.hpp"

namespace qvl {

// The reference scenario: OIS curve of 2026-01-20, series "1" (2025-09-11 to 2030-12-11, 2 %,
// five published factors) and a swap on them at 200 bp on a notional of 10000000. Each call
// builds new objects.
std::shared_ptr<QVLSwap> make_reference_swap(bool is_buyer = true);

// Values the reference swap and compares 24 outputs with their expected values: "ok", or the
// message of the first failure ("Unknown error" for a non-standard exception).
std::string run_self_check();

// Throws std::runtime_error "<message> (expected <e>, got <a>)" unless |actual - expected| is
// below tolerance; a NaN or infinite actual value always fails.
void check_close(double actual, double expected, double tolerance, const std::string& message);

}  // namespace qvl
