// qvl.xll loaded by the stand-in host: registration, lifecycle, logging and what the add-in says
// about itself.

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "addin_fixture.hpp"

namespace {

using standin::Value;

struct Expected {
    const char* function_text;
    const char* type_text;
    const char* argument_text;
    const char* function_help;
    std::vector<std::string> argument_help;
};

// In registration order.
const std::vector<Expected> table = {
    {"QVL.RunTests",
     "U",
     "",
     "Run QVL calculator unit tests. Returns 'ok' or the error message on failure.",
     {}},
    {"QVL.HttpStart",
     "UQ",
     "port",
     "Start the HTTP server on the specified port. Returns status message.",
     {"HTTP port (default 50080)."}},
    {"QVL.HttpStop", "U", "", "Stop the HTTP server.", {}},
    {"cellkit.ClearStatus", "A", "", "", {}},
    {"cellkit.ToggleLogging", "A", "", "", {}},
    {"QVL.CreateCurve",
     "U!QQ",
     "yc_date, OIS_Curve_Data",
     "Construct and cache a YieldCurve. Returns a handle string.",
     {"Yield-curve trade date (YYYY-MM-DD or Excel date).",
      "2-column range (Tenor, ParRate) with OIS par rates."}},
    {"QVL.DiscountFactor",
     "U!QQ",
     "curve, target_date",
     "Return the OIS discount factor for a target date.",
     {"Handle string from QVL.CreateCurve.", "Target date for the discount factor."}},
    {"QVL.CreateSeries",
     "U!QQQ",
     "index, series_data, factors_data",
     "Construct and cache an QVLSeries. Returns a handle string.",
     {"Series index identifier.",
      "Range with columns: SeriesIndex, SeriesName, StartDate, MaturityDate, Coupon.",
      "Range with dates in col 1 and writedown factors in subsequent cols."}},
    {"QVL.GetSeriesInfo",
     "U!Q",
     "series",
     "Return series info as a 5x2 grid (Index, Name, Start Date, Maturity Date, Coupon).",
     {"Handle string from QVL.CreateSeries."}},
    {"QVL.CreateSwap",
     "U!QQQQQ",
     "series, curve, is_buyer, credit_event_rate, notional",
     "Construct and cache an QVLSwap from cached series and curve. Returns a handle string.",
     {"Handle string from QVL.CreateSeries.", "Handle string from QVL.CreateCurve.",
      "TRUE for protection buyer (default TRUE).", "Credit event rate in bps (default 200).",
      "Original notional amount (default 10000000)."}},
    {"QVL.GetSwapInfo",
     "U!Q",
     "swap",
     "Return swap info as an 11x2 grid.",
     {"Handle string from QVL.CreateSwap."}},
    {"QVL.CalcFromEventRate",
     "U!QQB",
     "swap, trade_date, event_rate",
     "Compute all QVL swap outputs from a credit event rate. Returns a 15x2 grid.",
     {"Handle string from QVL.CreateSwap.", "The trade date.", "Credit event rate in bps."}},
    {"QVL.SolveFromUpfront",
     "U!QQB",
     "swap, trade_date, upfront_fee",
     "Solve for the credit event rate from a given upfront fee. Returns a 15x2 grid.",
     {"Handle string from QVL.CreateSwap.", "The trade date.", "Upfront fee (%)."}},
    {"QVL.SolveFromSpread",
     "U!QQB",
     "swap, trade_date, conventional_spread",
     "Solve for the credit event rate from a conventional spread. Returns a 15x2 grid.",
     {"Handle string from QVL.CreateSwap.", "The trade date.", "Conventional spread in bps."}},
    {"QVL.TradePnL",
     "U!QQBQBB",
     "swap, trade_date_1, clean_price_1, trade_date_2, clean_price_2, event_rate",
     "Compute PnL between two trade dates given clean prices. Returns a 14x2 grid.",
     {"Handle string from QVL.CreateSwap.", "Trade initiation date.", "Clean price at initiation.",
      "Trade close date.", "Clean price at close.", "Credit event rate in bps (default 200)."}},
    {"QVL.TotalPayment",
     "U!QQBQB",
     "swap, trade_date, clean_price, IsTradeInitiation, credit_event_rate",
     "Return the payment breakdown for a given trade date and clean price. Returns a 4x2 grid.",
     {"Handle string from QVL.CreateSwap.", "The trade date.", "Clean price.",
      "1 for trade initiation, 0 for close.", "Credit event rate in bps."}},
    {"QVL.ClearCache", "U", "", "Clear the internal cache of curves, series, and swaps.", {}},
    {"QVL.IsBusinessDay",
     "UQ",
     "date",
     "Returns TRUE if the date is a NYB business day.",
     {"Date to check."}},
    {"QVL.RollToFollowingBD",
     "UQQ",
     "date, roll_days",
     "Roll a date to the next NYB business day, optionally advancing by N business days.",
     {"Starting date.", "Number of business days to advance (default 0)."}},
    {"QVL.NextPublicationDate",
     "UQ",
     "date",
     "Return the next QVL index publication date on or after the given date.",
     {"Reference date."}},
    {"QVL.PrevPublicationDate",
     "UQ",
     "date",
     "Return the previous QVL index publication date on or before the given date.",
     {"Reference date."}},
    {"QVL.DayCountACT360",
     "UQQ",
     "start_date, end_date",
     "ACT/360 day-count fraction between two dates.",
     {"Start date.", "End date."}},
    {"QVL.DayCountACT365",
     "UQQ",
     "start_date, end_date",
     "ACT/365.25 day-count fraction between two dates.",
     {"Start date.", "End date."}},
    {"QVL.DateFromTenor",
     "UQQ",
     "date, tenor",
     "Compute a future date by adding a tenor string and rolling to the next business day.",
     {"Starting date.", "Tenor string (e.g. '3M', '1Y')."}},
    {"QVL.ForwardRate1D",
     "U!QQ",
     "curve, target_date",
     "Return the 1-day forward rate for a given date.",
     {"Handle string from QVL.CreateCurve.", "Target date."}},
    {"QVL.CashflowTable",
     "U!QQQ",
     "swap, trade_date, credit_event_rate",
     "Return the consolidated cashflow table. Returns a 2-D array with headers.",
     {"Handle string from QVL.CreateSwap.", "The trade date.",
      "Credit event rate in bps (default 200)."}},
    {"QVL.Risk",
     "U!QQQ",
     "swap, trade_date, credit_event_rate",
     "Compute the sensitivities of a swap: event rate, spread and OIS curve, each for 1 bp. "
     "Returns a 5x2 grid.",
     {"Handle string from QVL.CreateSwap.", "The trade date.",
      "Credit event rate in bps (default 200)."}},
    {"QVL.Version", "U", "", "Return the QVL add-in version string.", {}},
    {"QVL.BuildDate", "U", "", "Return the date and time this add-in was compiled.", {}},
};

// One line of the log: a 23-character time stamp, two blanks, the text, CR LF.
std::string line_pattern(const std::string& text) {
    return R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}  )" + text + "\r\n";
}

TEST_F(QvlAddin, RegistersEveryItemInOrder) {
    ASSERT_EQ(host.open(), 1);
    const auto& regs = host.registrations();
    ASSERT_EQ(regs.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const Expected& e = table[i];
        const standin::Registration& r = regs[i];
        SCOPED_TRACE(e.function_text);
        EXPECT_EQ(r.function_text, e.function_text);
        EXPECT_EQ(r.type_text, e.type_text);
        EXPECT_EQ(r.argument_text, e.argument_text);
        EXPECT_EQ(r.function_help, e.function_help);
        EXPECT_EQ(r.argument_help, e.argument_help);
        EXPECT_EQ(r.module, path_.string());
        EXPECT_TRUE(r.shortcut.empty());
        EXPECT_TRUE(r.help_topic.empty());
        const std::string name(e.function_text);
        if (name.rfind("QVL.", 0) == 0) {
            EXPECT_EQ(r.procedure, "?QVL_" + name.substr(4));
            EXPECT_EQ(r.category, "QVL");
            EXPECT_EQ(r.macro_type, 1);
        } else {
            EXPECT_EQ(r.procedure, name.substr(8));
            EXPECT_EQ(r.category, "");
            EXPECT_EQ(r.macro_type, 2);
        }
    }
    EXPECT_TRUE(host.alerts().empty());
    EXPECT_TRUE(host.faults().empty()) << host.faults().front();
}

// The names a file's dynamic symbol table defines, as nm lists them.
std::set<std::string> defined_dynamic_symbols(const std::filesystem::path& file) {
    const std::string command =
        std::string(QVL_NM_PATH) + " -D --defined-only --format=posix '" + file.string() + "'";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
    std::string listing;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        listing.append(chunk, n);
    if (::pclose(pipe) != 0) throw std::runtime_error(command + " failed");
    std::set<std::string> names;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) names.insert(line.substr(0, line.find(' ')));
    }
    return names;
}

// A host looks up the entry points and each registered procedure by name, and nothing else may
// leave the add-in: any other exported name (a library's statics, type information, template
// code) could bind to another library's copy of it in the same host process.
TEST_F(QvlAddin, ExportsOnlyWhatTheHostLooksUp) {
    ASSERT_EQ(host.open(), 1);
    std::set<std::string> wanted = {"xlAutoOpen",   "xlAutoClose",      "xlAutoAdd",
                                    "xlAutoRemove", "xlAutoRegister12", "xlAutoFree12"};
    for (const standin::Registration& r : host.registrations()) wanted.insert(r.procedure);
    ASSERT_EQ(wanted.size(), table.size() + 6);
    const std::set<std::string> exported = defined_dynamic_symbols(path_);
    std::vector<std::string> extra, missing;
    std::set_difference(exported.begin(), exported.end(), wanted.begin(), wanted.end(),
                        std::back_inserter(extra));
    std::set_difference(wanted.begin(), wanted.end(), exported.begin(), exported.end(),
                        std::back_inserter(missing));
    EXPECT_TRUE(extra.empty()) << extra.size() << " names beyond the host's, first "
                               << extra.front();
    EXPECT_TRUE(missing.empty()) << "not exported: " << missing.front();
}

// The Windows build exports what its module-definition file lists, not what the code marks: the
// file must name every procedure the add-in registers, bound to the function of that name, and
// the entry points, and nothing else.
TEST_F(QvlAddin, WindowsExportListMatchesTheRegistrations) {
    ASSERT_EQ(host.open(), 1);
    std::set<std::string> wanted = {"xlAutoOpen",   "xlAutoClose",      "xlAutoAdd",
                                    "xlAutoRemove", "xlAutoRegister12", "xlAutoFree12"};
    for (const standin::Registration& r : host.registrations()) {
        wanted.insert(r.procedure);
    }

    std::ifstream def(QVL_DEF_PATH);
    ASSERT_TRUE(def) << QVL_DEF_PATH;
    std::set<std::string> exported;
    bool in_exports = false;
    for (std::string line; std::getline(def, line);) {
        std::istringstream words(line.substr(0, line.find(';')));
        std::string word;
        if (!(words >> word)) {
            continue;
        }
        if (!in_exports) {
            in_exports = word == "EXPORTS";
            continue;
        }
        const auto bound = word.find('=');
        const std::string name = word.substr(0, bound);
        if (bound != std::string::npos) {
            EXPECT_EQ("?" + word.substr(bound + 1), name) << word;
        }
        EXPECT_TRUE(exported.insert(name).second) << "listed twice: " << name;
    }
    std::vector<std::string> missing;
    std::vector<std::string> extra;
    std::set_difference(wanted.begin(), wanted.end(), exported.begin(), exported.end(),
                        std::back_inserter(missing));
    std::set_difference(exported.begin(), exported.end(), wanted.begin(), wanted.end(),
                        std::back_inserter(extra));
    EXPECT_TRUE(missing.empty()) << "not exported: " << testing::PrintToString(missing);
    EXPECT_TRUE(extra.empty()) << "exported, never registered: " << testing::PrintToString(extra);
}

TEST_F(QvlAddin, ShowsItsLoadMessageForSixSeconds) {
    ASSERT_EQ(host.open(), 1);
    EXPECT_EQ(host.status_bar(), std::optional<std::string>("qvl addin is loaded"));
    ASSERT_EQ(host.scheduled().size(), 1u);
    EXPECT_EQ(host.scheduled()[0].command, "cellkit.ClearStatus");
    EXPECT_NEAR((host.scheduled()[0].when - host.now()) * 86400.0, 6.0, 1e-3);
    host.advance(5.9);
    EXPECT_TRUE(host.status_bar().has_value());
    host.advance(0.1);
    EXPECT_FALSE(host.status_bar().has_value());
    EXPECT_TRUE(host.faults().empty());
}

TEST_F(QvlAddin, UnregistersEverythingOnClose) {
    ASSERT_EQ(host.open(), 1);
    EXPECT_EQ(host.close(), 1);
    EXPECT_TRUE(host.registrations().empty());
    EXPECT_THROW(host.call("QVL.Version"), std::invalid_argument);
    // Opening again registers everything again.
    ASSERT_EQ(host.open(), 1);
    EXPECT_EQ(host.registrations().size(), table.size());
    EXPECT_EQ(host.add(), 1);
    EXPECT_EQ(host.remove(), 1);
    EXPECT_EQ(host.auto_register("QVL.Version"), Value("QVL.Version"));
    EXPECT_TRUE(host.faults().empty());
}

TEST_F(QvlAddin, LogsEntryPointsOnlyWhileSwitchedOn) {
    ASSERT_EQ(host.open(), 1);
    EXPECT_FALSE(std::filesystem::exists(log_file()));
    EXPECT_EQ(host.run_command("cellkit.ToggleLogging"), 1);
    ASSERT_EQ(host.close(), 1);
    EXPECT_TRUE(std::regex_match(log_text(), std::regex(line_pattern("xlAutoClose: begin") +
                                                        line_pattern("xlAutoClose: end"))))
        << log_text();

    ASSERT_EQ(host.open(), 1);
    const std::string after_open = log_text();
    EXPECT_TRUE(std::regex_search(after_open, std::regex(line_pattern("xlAutoOpen: begin") +
                                                         line_pattern("xlAutoOpen: end") + "$")))
        << after_open;

    // Twice more: off, then on and off again.
    host.run_command("cellkit.ToggleLogging");
    host.run_command("cellkit.ToggleLogging");
    host.run_command("cellkit.ToggleLogging");
    host.add();
    EXPECT_EQ(log_text(), after_open);
}

TEST_F(QvlAddin, CarriesOnWhenTheHostRefusesParts) {
    host.run_export("ToggleLogging");
    // A refused registration: an alert naming it, the rest registered.
    host.reject_registration("QVL.Version");
    // The clock and the timer answer with errors: logged, not fatal.
    host.inject(xlfNow, xlret_success, Value::error(xlerrValue));
    ASSERT_EQ(host.open(), 1);
    ASSERT_EQ(host.alerts().size(), 1u);
    EXPECT_NE(host.alerts()[0].find("QVL.Version"), std::string::npos);
    EXPECT_EQ(host.registrations().size(), table.size() - 1);
    EXPECT_TRUE(host.scheduled().empty());
    EXPECT_NE(log_text().find("  SetupCallback: xlfNow failed\r\n"), std::string::npos);
    host.close();

    host.inject(xlcOnTime, xlret_success, Value::error(xlerrValue));
    ASSERT_EQ(host.open(), 1);
    EXPECT_NE(log_text().find("  SetupCallback: xlcOnTime failed\r\n"), std::string::npos);
    host.close();

    // A clock that answers with something other than a number is an error inside the add-in;
    // xlAutoOpen catches it and still succeeds.
    host.inject(xlfNow, xlret_success, Value("noon"));
    ASSERT_EQ(host.open(), 1);
    EXPECT_NE(log_text().find("\"IsDouble()\" failed"), std::string::npos);
    EXPECT_NE(log_text().rfind("  xlAutoOpen: end\r\n"), std::string::npos);
}

TEST_F(QvlAddin, FailsToOpenWhenTheHostFailsACall) {
    host.run_export("ToggleLogging");
    host.inject(xlGetName, xlret_failed);
    testing::internal::CaptureStderr();
    EXPECT_EQ(host.open(), 0);
    const std::string boxes = testing::internal::GetCapturedStderr();
    EXPECT_NE(boxes.find("AddIn Auto<Close> failed"), std::string::npos) << boxes;
    EXPECT_NE(boxes.find("\"result.IsError()\" failed"), std::string::npos) << boxes;
    EXPECT_NE(boxes.find("xll::xlAutoOpen"), std::string::npos) << boxes;
    EXPECT_NE(log_text().find("  xlAutoOpen: Open failed\r\n"), std::string::npos);
    // The first item failed, so nothing else was registered and no message was shown.
    EXPECT_TRUE(host.registrations().empty());
    EXPECT_FALSE(host.status_bar().has_value());
}

TEST_F(QvlAddin, ReportsVersionBuildDateAndSelfCheck) {
    ASSERT_EQ(host.open(), 1);
    EXPECT_EQ(host.call("QVL.Version"), Value(QVL_VERSION));
    const Value built = host.call("QVL.BuildDate");
    ASSERT_TRUE(built.is_text());
    EXPECT_TRUE(
        std::regex_match(built.text(), std::regex(R"(\d{2}-[A-Z][a-z]{2}-\d{4} \d{2}:\d{2})")))
        << built;
    EXPECT_EQ(host.call("QVL.RunTests"), Value("ok"));
    EXPECT_TRUE(host.faults().empty());
}

}  // namespace
