#pragma once

// How a QVL worksheet function is written: once, its declaration followed by its body.
//
//   QVL_FUNCTION(Name, place, "What it does.", (LPXLOPER12 date, double days),
//                {"date", "Starting date."},
//                with_default("days", "Business days to advance", number_text(0))) {
//       static xll::xloper result;
//       ...
//   }
//
// is "QVL.Name" in the category "QVL", exported as "?QVL_Name" (the function itself is
// QVL_Name). QVL_VOLATILE_FUNCTION declares one the host recalculates at every recalculation.
// The host's type codes come from the parameter types (xll::TypeCode); after the parameters
// comes one description per parameter, in order: the name the host shows, the help text and, for
// an argument the function gives a value of its own when it is missing, that value as text. The
// place orders the registration (xll::Addin): functions and commands are registered, and listed
// by qvl-host, in the order of their places; leave gaps for the functions to come.
//
// The descriptions are read in namespace qvl::addin, so the texts below need no prefix.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/conventions.hpp"
#include "xll/addin.hpp"
#include "xll/export.hpp"
#include "xll/host_api.hpp"

namespace qvl::addin {

// Defaults that worksheet functions apply to arguments left out, beside those of the swap terms
// (both in core/conventions.hpp, which the Python package takes them from too) and of the port
// (http/http_service.hpp).
using qvl::default_roll_days;         // QVL.RollToFollowingBD: roll only
using qvl::default_trade_initiation;  // QVL.TotalPayment: initiation

inline constexpr std::string_view swap_help = "Handle string from QVL.CreateSwap.";
inline constexpr std::string_view curve_help = "Handle string from QVL.CreateCurve.";
inline constexpr std::string_view series_help = "Handle string from QVL.CreateSeries.";

// A number as a default text: "200", "10000000".
inline std::string number_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// An argument with a default, its help text followed by the default: "Credit event rate in bps
// (default 200).".
inline xll::ArgumentText with_default(std::string_view name, std::string_view help,
                                      std::string_view default_text) {
    std::string text(help);
    text.append(" (default ").append(default_text).append(").");
    return {name, text, default_text};
}

}  // namespace qvl::addin

#define QVL_DECLARE_FUNCTION_(name, place, is_volatile, help, parameters, ...)                     \
    extern "C" LPXLOPER12 QVL_##name parameters;                                                   \
    XLL_EXPORT_ALIAS(QVL_##name, "?QVL_" #name);                                                   \
    namespace qvl::addin {                                                                         \
    [[maybe_unused]] const xll::Addin registered_##name{                                           \
        place, xll::worksheet_record(&QVL_##name, "?QVL_" #name, "QVL." #name, "QVL", is_volatile, \
                                     help, {{__VA_ARGS__}})};                                      \
    }                                                                                              \
    extern "C" LPXLOPER12 QVL_##name parameters

#define QVL_FUNCTION(name, place, help, parameters, ...) \
    QVL_DECLARE_FUNCTION_(name, place, false, help, parameters __VA_OPT__(, ) __VA_ARGS__)
#define QVL_VOLATILE_FUNCTION(name, place, help, parameters, ...) \
    QVL_DECLARE_FUNCTION_(name, place, true, help, parameters __VA_OPT__(, ) __VA_ARGS__)
