#pragma once

#include <string>

namespace qvl {

// Values the reference swap and compares 24 outputs with their expected values: "ok", or the
// message of the first failure ("Unknown error" for a non-standard exception).
std::string run_self_check();

}  // namespace qvl
