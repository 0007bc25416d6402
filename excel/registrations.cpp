// Every function and command the add-in registers, in registration order. The records are
// statics of this one file, so they are constructed, and registered, in the order written here;
// adding an item is inserting its record in its place.
//
// Where a function applies a default to an argument left out, the default text and the help text
// are made from the value the function applies.

#include <cstdio>
#include <string>
#include <string_view>

#include "core/conventions.hpp"
#include "excel/http_functions.hpp"
#include "excel/worksheet_functions.hpp"
#include "http/http_service.hpp"
#include "xll/addin.hpp"

namespace {

using xll::Addin;

// The framework's records, with the form of this add-in's worksheet functions added:
// Proc::function("Name") is "QVL.Name", exported as "?QVL_Name", in the category "QVL".
struct Proc : xll::Proc {
    static xll::Proc function(std::string_view name) {
        return worksheet("?QVL_" + std::string(name), "QVL." + std::string(name), "QVL");
    }
};

// Close actions run in the order they were filed, and each record below files its unregister
// action: the service stops before the functions that control it go away.
const bool stop_service_at_close = [] {
    xll::auto_actions(xll::AutoKind::Close).push_back(&qvl::addin::stop_http_service_at_close);
    return true;
}();

// A number as a default text: "200", "10000000".
std::string default_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// A help text followed by the default: "Credit event rate in bps (default 200).".
std::string help_with_default(std::string_view help, std::string_view default_text) {
    return std::string(help) + " (default " + std::string(default_text) + ").";
}

const std::string port_default = default_text(qvl::service::default_port);
const std::string side_default = qvl::default_is_buyer ? "TRUE" : "FALSE";
const std::string rate_default = default_text(qvl::default_event_rate);
const std::string notional_default = default_text(qvl::default_notional);
const std::string trade_date_default(qvl::default_trade_date);
const std::string initiation_default = qvl::addin::default_trade_initiation ? "1" : "0";
const std::string roll_days_default = default_text(qvl::addin::default_roll_days);

const Addin run_tests{
    Proc::function("RunTests")
        .help("Run QVL calculator unit tests. Returns 'ok' or the error message on failure.")};

const Addin http_start{
    Proc::function("HttpStart")
        .argument("Q", "port", help_with_default("HTTP port", port_default), port_default)
        .help("Start the HTTP server on the specified port. Returns status message.")};

const Addin http_stop{Proc::function("HttpStop").help("Stop the HTTP server.")};

const Addin clear_status{Proc::command("ClearStatus", "cellkit.ClearStatus")};

const Addin toggle_logging{Proc::command("ToggleLogging", "cellkit.ToggleLogging")};

constexpr const char* swap_help = "Handle string from QVL.CreateSwap.";
constexpr const char* curve_help = "Handle string from QVL.CreateCurve.";
constexpr const char* series_help = "Handle string from QVL.CreateSeries.";

const Addin create_curve{
    Proc::function("CreateCurve")
        .mark_volatile()
        .argument("Q", "yc_date", "Yield-curve trade date (YYYY-MM-DD or Excel date).",
                  "2026-01-21")
        .argument("Q", "OIS_Curve_Data", "2-column range (Tenor, ParRate) with OIS par rates.")
        .help("Construct and cache a YieldCurve. Returns a handle string.")};

const Addin discount_factor{
    Proc::function("DiscountFactor")
        .mark_volatile()
        .argument("Q", "curve", curve_help)
        .argument("Q", "target_date", "Target date for the discount factor.", "2027-01-21")
        .help("Return the OIS discount factor for a target date.")};

const Addin create_series{
    Proc::function("CreateSeries")
        .mark_volatile()
        .argument("Q", "index", "Series index identifier.", "1")
        .argument("Q", "series_data",
                  "Range with columns: SeriesIndex, SeriesName, StartDate, MaturityDate, Coupon.")
        .argument("Q", "factors_data",
                  "Range with dates in col 1 and writedown factors in subsequent cols.")
        .help("Construct and cache an QVLSeries. Returns a handle string.")};

const Addin get_series_info{
    Proc::function("GetSeriesInfo")
        .mark_volatile()
        .argument("Q", "series", series_help)
        .help("Return series info as a 5x2 grid (Index, Name, Start Date, Maturity Date, "
              "Coupon).")};

const Addin create_swap{
    Proc::function("CreateSwap")
        .mark_volatile()
        .argument("Q", "series", series_help)
        .argument("Q", "curve", curve_help)
        .argument("Q", "is_buyer", help_with_default("TRUE for protection buyer", side_default),
                  side_default)
        .argument("Q", "credit_event_rate",
                  help_with_default("Credit event rate in bps", rate_default), rate_default)
        .argument("Q", "notional", help_with_default("Original notional amount", notional_default),
                  notional_default)
        .help("Construct and cache an QVLSwap from cached series and curve. Returns a handle "
              "string.")};

const Addin get_swap_info{Proc::function("GetSwapInfo")
                              .mark_volatile()
                              .argument("Q", "swap", swap_help)
                              .help("Return swap info as an 11x2 grid.")};

const Addin calc_from_event_rate{
    Proc::function("CalcFromEventRate")
        .mark_volatile()
        .argument("Q", "swap", swap_help)
        .argument("Q", "trade_date", "The trade date.", trade_date_default)
        .argument("B", "event_rate", "Credit event rate in bps.", rate_default)
        .help("Compute all QVL swap outputs from a credit event rate. Returns a 15x2 grid.")};

const Addin solve_from_upfront{
    Proc::function("SolveFromUpfront")
        .mark_volatile()
        .argument("Q", "swap", swap_help)
        .argument("Q", "trade_date", "The trade date.", trade_date_default)
        .argument("B", "upfront_fee", "Upfront fee (%).", "1.0")
        .help("Solve for the credit event rate from a given upfront fee. Returns a 15x2 grid.")};

const Addin solve_from_spread{
    Proc::function("SolveFromSpread")
        .mark_volatile()
        .argument("Q", "swap", swap_help)
        .argument("Q", "trade_date", "The trade date.", trade_date_default)
        .argument("B", "conventional_spread", "Conventional spread in bps.", "100")
        .help("Solve for the credit event rate from a conventional spread. Returns a 15x2 "
              "grid.")};

const Addin trade_pnl{
    Proc::function("TradePnL")
        .mark_volatile()
        .argument("Q", "swap", swap_help)
        .argument("Q", "trade_date_1", "Trade initiation date.", "2025-10-01")
        .argument("B", "clean_price_1", "Clean price at initiation.", "100.1")
        .argument("Q", "trade_date_2", "Trade close date.", trade_date_default)
        .argument("B", "clean_price_2", "Clean price at close.", "99.5")
        .argument("B", "event_rate", help_with_default("Credit event rate in bps", rate_default),
                  rate_default)
        .help("Compute PnL between two trade dates given clean prices. Returns a 14x2 grid.")};

const Addin total_payment{
    Proc::function("TotalPayment")
        .mark_volatile()
        .argument("Q", "swap", swap_help)
        .argument("Q", "trade_date", "The trade date.", trade_date_default)
        .argument("B", "clean_price", "Clean price.", "99.5")
        .argument("Q", "IsTradeInitiation", "1 for trade initiation, 0 for close.",
                  initiation_default)
        .argument("B", "credit_event_rate", "Credit event rate in bps.", rate_default)
        .help("Return the payment breakdown for a given trade date and clean price. Returns a "
              "4x2 grid.")};

const Addin clear_cache{
    Proc::function("ClearCache").help("Clear the internal cache of curves, series, and swaps.")};

const Addin is_business_day{Proc::function("IsBusinessDay")
                                .argument("Q", "date", "Date to check.", "2026-01-21")
                                .help("Returns TRUE if the date is a NYB business day.")};

const Addin roll_to_following_bd{
    Proc::function("RollToFollowingBD")
        .argument("Q", "date", "Starting date.", "2026-01-17")
        .argument("Q", "roll_days",
                  help_with_default("Number of business days to advance", roll_days_default),
                  roll_days_default)
        .help("Roll a date to the next NYB business day, optionally advancing by N business "
              "days.")};

const Addin next_publication_date{
    Proc::function("NextPublicationDate")
        .argument("Q", "date", "Reference date.", "2026-01-21")
        .help("Return the next QVL index publication date on or after the given date.")};

const Addin prev_publication_date{
    Proc::function("PrevPublicationDate")
        .argument("Q", "date", "Reference date.", "2026-01-21")
        .help("Return the previous QVL index publication date on or before the given date.")};

const Addin day_count_act360{Proc::function("DayCountACT360")
                                 .argument("Q", "start_date", "Start date.", "2026-01-21")
                                 .argument("Q", "end_date", "End date.", "2027-01-21")
                                 .help("ACT/360 day-count fraction between two dates.")};

const Addin day_count_act365{Proc::function("DayCountACT365")
                                 .argument("Q", "start_date", "Start date.", "2026-01-21")
                                 .argument("Q", "end_date", "End date.", "2027-01-21")
                                 .help("ACT/365.25 day-count fraction between two dates.")};

const Addin date_from_tenor{
    Proc::function("DateFromTenor")
        .argument("Q", "date", "Starting date.", "2026-01-21")
        .argument("Q", "tenor", "Tenor string (e.g. '3M', '1Y').", "1Y")
        .help("Compute a future date by adding a tenor string and rolling to the next business "
              "day.")};

const Addin forward_rate_1d{Proc::function("ForwardRate1D")
                                .mark_volatile()
                                .argument("Q", "curve", curve_help)
                                .argument("Q", "target_date", "Target date.", "2027-01-21")
                                .help("Return the 1-day forward rate for a given date.")};

const Addin cashflow_table{
    Proc::function("CashflowTable")
        .mark_volatile()
        .argument("Q", "swap", swap_help)
        .argument("Q", "trade_date", "The trade date.", trade_date_default)
        .argument("Q", "credit_event_rate",
                  help_with_default("Credit event rate in bps", rate_default), rate_default)
        .help("Return the consolidated cashflow table. Returns a 2-D array with headers.")};

const Addin risk{
    Proc::function("Risk")
        .mark_volatile()
        .argument("Q", "swap", swap_help)
        .argument("Q", "trade_date", "The trade date.", trade_date_default)
        .argument("Q", "credit_event_rate",
                  help_with_default("Credit event rate in bps", rate_default), rate_default)
        .help("Compute the sensitivities of a swap: event rate, spread and OIS curve, each for "
              "1 bp. Returns a 5x2 grid.")};

const Addin version{Proc::function("Version").help("Return the QVL add-in version string.")};

const Addin build_date{
    Proc::function("BuildDate").help("Return the date and time this add-in was compiled.")};

}  // namespace
