// qvl.xll loaded by the stand-in host: registration, exports, lifecycle, logging and what the
// add-in says about itself.

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "addin_fixture.hpp"

namespace {

using standin::Value;

// Each registration row: function text, type text, argument text, function help and the help
// of each argument, separated by '|'. In registration order.
const std::vector<std::string> table = {
    "QVL.RunTests|U||Run QVL calculator unit tests. Returns 'ok' or the error message on failure.",
    "QVL.HttpStart|UQ|port|Start the HTTP server on the specified port. Returns status "
    "message.|HTTP port (default 50080).",
    "QVL.HttpStop|U||Stop the HTTP server.",
    "cellkit.ClearStatus|A||",
    "cellkit.ToggleLogging|A||",
    "QVL.CreateCurve|U!QQ|yc_date, OIS_Curve_Data|Construct and cache a YieldCurve. Returns a "
    "handle string.|Yield-curve trade date (YYYY-MM-DD or Excel date).|2-column range (Tenor, "
    "ParRate) with OIS par rates.",
    "QVL.DiscountFactor|U!QQ|curve, target_date|Return the OIS discount factor for a target "
    "date.|Handle string from QVL.CreateCurve.|Target date for the discount factor.",
    "QVL.CreateSeries|U!QQQ|index, series_data, factors_data|Construct and cache an QVLSeries. "
    "Returns a handle string.|Series index identifier.|Range with columns: SeriesIndex, "
    "SeriesName, StartDate, MaturityDate, Coupon.|Range with dates in col 1 and writedown factors "
    "in subsequent cols.",
    "QVL.GetSeriesInfo|U!Q|series|Return series info as a 5x2 grid (Index, Name, Start Date, "
    "Maturity Date, Coupon).|Handle string from QVL.CreateSeries.",
    "QVL.CreateSwap|U!QQQQQ|series, curve, is_buyer, credit_event_rate, notional|Construct and "
    "cache an QVLSwap from cached series and curve. Returns a handle string.|Handle string from "
    "QVL.CreateSeries.|Handle string from QVL.CreateCurve.|TRUE for protection buyer (default "
    "TRUE).|Credit event rate in bps (default 200).|Original notional amount (default 10000000).",
    "QVL.GetSwapInfo|U!Q|swap|Return swap info as an 11x2 grid.|Handle string from QVL.CreateSwap.",
    "QVL.CalcFromEventRate|U!QQB|swap, trade_date, event_rate|Compute all QVL swap outputs from a "
    "credit event rate. Returns a 15x2 grid.|Handle string from QVL.CreateSwap.|The trade "
    "date.|Credit event rate in bps.",
    "QVL.SolveFromUpfront|U!QQB|swap, trade_date, upfront_fee|Solve for the credit event rate from "
    "a given upfront fee. Returns a 15x2 grid.|Handle string from QVL.CreateSwap.|The trade "
    "date.|Upfront fee (%).",
    "QVL.SolveFromSpread|U!QQB|swap, trade_date, conventional_spread|Solve for the credit event "
    "rate from a conventional spread. Returns a 15x2 grid.|Handle string from QVL.CreateSwap.|The "
    "trade date.|Conventional spread in bps.",
    "QVL.TradePnL|U!QQBQBB|swap, trade_date_1, clean_price_1, trade_date_2, clean_price_2, "
    "event_rate|Compute PnL between two trade dates given clean prices. Returns a 14x2 "
    "grid.|Handle string from QVL.CreateSwap.|Trade initiation date.|Clean price at "
    "initiation.|Trade close date.|Clean price at close.|Credit event rate in bps (default 200).",
    "QVL.TotalPayment|U!QQBQB|swap, trade_date, clean_price, IsTradeInitiation, "
    "credit_event_rate|Return the payment breakdown for a given trade date and clean price. "
    "Returns a 4x2 grid.|Handle string from QVL.CreateSwap.|The trade date.|Clean price.|1 for "
    "trade initiation, 0 for close.|Credit event rate in bps.",
    "QVL.ClearCache|U||Clear the internal cache of curves, series, and swaps.",
    "QVL.IsBusinessDay|UQ|date|Returns TRUE if the date is a NYB business day.|Date to check.",
    "QVL.RollToFollowingBD|UQQ|date, roll_days|Roll a date to the next NYB business day, "
    "optionally advancing by N business days.|Starting date.|Number of business days to advance "
    "(default 0).",
    "QVL.NextPublicationDate|UQ|date|Return the next QVL index publication date on or after the "
    "given date.|Reference date.",
    "QVL.PrevPublicationDate|UQ|date|Return the previous QVL index publication date on or before "
    "the given date.|Reference date.",
    "QVL.DayCountACT360|UQQ|start_date, end_date|ACT/360 day-count fraction between two "
    "dates.|Start date.|End date.",
    "QVL.DayCountACT365|UQQ|start_date, end_date|ACT/365.25 day-count fraction between two "
    "dates.|Start date.|End date.",
    "QVL.DateFromTenor|UQQ|date, tenor|Compute a future date by adding a tenor string and rolling "
    "to the next business day.|Starting date.|Tenor string (e.g. '3M', '1Y').",
    "QVL.ForwardRate1D|U!QQ|curve, target_date|Return the 1-day forward rate for a given "
    "date.|Handle string from QVL.CreateCurve.|Target date.",
    "QVL.CashflowTable|U!QQQ|swap, trade_date, credit_event_rate|Return the consolidated cashflow "
    "table. Returns a 2-D array with headers.|Handle string from QVL.CreateSwap.|The trade "
    "date.|Credit event rate in bps (default 200).",
    "QVL.Risk|U!QQQ|swap, trade_date, credit_event_rate|Compute the sensitivities of a swap: event "
    "rate, spread and OIS curve, each for 1 bp. Returns a 5x2 grid.|Handle string from "
    "QVL.CreateSwap.|The trade date.|Credit event rate in bps (default 200).",
    "QVL.Version|U||Return the QVL add-in version string.",
    "QVL.BuildDate|U||Return the date and time this add-in was compiled.",
};

using Registrations = Workbook;

TEST_F(Registrations, RegistersEveryItemInOrder) {
    const auto& regs = host.registrations();
    ASSERT_EQ(regs.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const standin::Registration& r = regs[i];
        std::string row =
            r.function_text + "|" + r.type_text + "|" + r.argument_text + "|" + r.function_help;
        for (const std::string& help : r.argument_help) row += "|" + help;
        EXPECT_EQ(row, table[i]);
        EXPECT_EQ(r.module, path_.string());
        const std::string& name = r.function_text;
        const bool worksheet = name.rfind("QVL.", 0) == 0;
        EXPECT_EQ(r.procedure, worksheet ? "?QVL_" + name.substr(4) : name.substr(8));
        EXPECT_EQ(r.category, worksheet ? "QVL" : "");
        EXPECT_EQ(r.macro_type, worksheet ? 1 : 2);
    }
}

// The names nm lists in a file's dynamic symbol table.
std::set<std::string> defined_dynamic_symbols(const std::filesystem::path& file) {
    const std::string command =
        std::string(QVL_NM_PATH) + " -D --defined-only --format=posix '" + file.string() + "'";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
    std::set<std::string> names;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        names.insert(std::string(line).substr(0, std::string(line).find(' ')));
    }
    if (::pclose(pipe) != 0) throw std::runtime_error(command + " failed");
    return names;
}

// The names of the module-definition file's EXPORTS section; an alias must bind the name to the
// function of that name.
std::set<std::string> def_file_exports() {
    std::ifstream def(QVL_DEF_PATH);
    if (!def) throw std::runtime_error("cannot read " QVL_DEF_PATH);
    std::set<std::string> names;
    bool in_exports = false;
    for (std::string line, word; std::getline(def, line);) {
        if (!(std::istringstream(line.substr(0, line.find(';'))) >> word)) continue;
        if (!in_exports) {
            in_exports = word == "EXPORTS";
            continue;
        }
        const auto bound = word.find('=');
        const std::string name = word.substr(0, bound);
        EXPECT_TRUE(bound == std::string::npos || "?" + word.substr(bound + 1) == name) << word;
        EXPECT_TRUE(names.insert(name).second) << "listed twice: " << name;
    }
    return names;
}

// A host looks up the entry points and each registered procedure by name, and nothing else may
// leave the add-in: any other exported name (a library's statics, type information, template
// code) could bind to another library's copy of it in the same host process. The Windows build
// exports what its module-definition file lists, so that list must be the same.
TEST_F(Registrations, ExportsExactlyTheEntryPointsAndRegisteredProcedures) {
    std::set<std::string> wanted = {"xlAutoOpen",   "xlAutoClose",      "xlAutoAdd",
                                    "xlAutoRemove", "xlAutoRegister12", "xlAutoFree12"};
    for (const standin::Registration& r : host.registrations()) wanted.insert(r.procedure);
    for (const auto& [what, exported] :
         {std::pair{"shared library", defined_dynamic_symbols(path_)},
          std::pair{"module-definition file", def_file_exports()}}) {
        SCOPED_TRACE(what);
        std::vector<std::string> extra, missing;
        std::set_difference(exported.begin(), exported.end(), wanted.begin(), wanted.end(),
                            std::back_inserter(extra));
        std::set_difference(wanted.begin(), wanted.end(), exported.begin(), exported.end(),
                            std::back_inserter(missing));
        EXPECT_TRUE(extra.empty()) << "never registered: " << testing::PrintToString(extra);
        EXPECT_TRUE(missing.empty()) << "not exported: " << testing::PrintToString(missing);
    }
}

TEST_F(Registrations, SaysWhatItIsAndUnregistersOnClose) {
    EXPECT_EQ(host.status_bar(), std::optional<std::string>("qvl addin is loaded"));
    host.advance(6);
    EXPECT_FALSE(host.status_bar().has_value());
    EXPECT_EQ(host.call("QVL.Version"), Value(QVL_VERSION));
    const std::string built = host.call("QVL.BuildDate").text();
    EXPECT_TRUE(std::regex_match(built, std::regex(R"(\d{2}-[A-Z][a-z]{2}-\d{4} \d{2}:\d{2})")))
        << built;
    EXPECT_EQ(host.call("QVL.RunTests"), Value("ok"));

    EXPECT_EQ(host.close(), 1);
    EXPECT_TRUE(host.registrations().empty());
    EXPECT_THROW(host.call("QVL.Version"), std::invalid_argument);
    ASSERT_EQ(host.open(), 1);
    EXPECT_EQ(host.registrations().size(), table.size());
    EXPECT_EQ(host.auto_register("QVL.Version"), Value("QVL.Version"));
    EXPECT_EQ(host.remove(), 1);
}

TEST_F(QvlAddin, CarriesOnWhenTheHostRefusesPartsAndLogsWhileSwitchedOn) {
    host.run_export("ToggleLogging");
    // A refused registration: an alert naming it, the rest registered.
    host.reject_registration("QVL.Version");
    // The clock answers with an error: logged, not fatal, and no timer is set.
    host.inject(xlfNow, xlret_success, Value::error(xlerrValue));
    ASSERT_EQ(host.open(), 1);
    EXPECT_EQ(host.alerts(), std::vector<std::string>{"Could not register QVL.Version"});
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
    // Switched off, nothing more is logged.
    const std::string logged = log_text();
    EXPECT_EQ(host.run_command("cellkit.ToggleLogging"), 1);
    host.add();
    host.close();
    EXPECT_EQ(log_text(), logged);
}

TEST_F(QvlAddin, FailsToOpenWhenTheHostFailsACall) {
    host.run_export("ToggleLogging");
    host.inject(xlGetName, xlret_failed);
    testing::internal::CaptureStderr();
    EXPECT_EQ(host.open(), 0);
    const std::string boxes = testing::internal::GetCapturedStderr();
    EXPECT_NE(boxes.find("AddIn Auto<Close> failed"), std::string::npos) << boxes;
    EXPECT_NE(log_text().find("  xlAutoOpen: Open failed\r\n"), std::string::npos);
    // The first item failed, so nothing else was registered and no message was shown.
    EXPECT_TRUE(host.registrations().empty());
    EXPECT_FALSE(host.status_bar().has_value());
}

}  // namespace
