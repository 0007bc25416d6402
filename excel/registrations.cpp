// Every function and command the add-in registers, in registration order. The records are
// statics of this one file, so they are constructed, and registered, in the order written here;
// adding an item is inserting its record in its place.

#include "excel/addin.hpp"

namespace {

using xll::Addin;
using xll::Proc;

const Addin run_tests{
    Proc::Function("RunTests")
        .Help("Run QVL calculator unit tests. Returns 'ok' or the error message on failure.")};

// QVL.HttpStart and QVL.HttpStop go here.

const Addin clear_status{Proc::Command("ClearStatus", "cellkit.ClearStatus")};

const Addin toggle_logging{Proc::Command("ToggleLogging", "cellkit.ToggleLogging")};

// QVL.CreateCurve, QVL.DiscountFactor, QVL.CreateSeries, QVL.GetSeriesInfo, QVL.CreateSwap,
// QVL.GetSwapInfo, QVL.CalcFromEventRate, QVL.SolveFromUpfront, QVL.SolveFromSpread,
// QVL.TradePnL, QVL.TotalPayment and QVL.ClearCache go here.

const Addin is_business_day{Proc::Function("IsBusinessDay")
                                .Argument("Q", "date", "Date to check.", "2026-01-21")
                                .Help("Returns TRUE if the date is a NYB business day.")};

const Addin roll_to_following_bd{
    Proc::Function("RollToFollowingBD")
        .Argument("Q", "date", "Starting date.", "2026-01-17")
        .Argument("Q", "roll_days", "Number of business days to advance (default 0).", "0")
        .Help("Roll a date to the next NYB business day, optionally advancing by N business "
              "days.")};

const Addin next_publication_date{
    Proc::Function("NextPublicationDate")
        .Argument("Q", "date", "Reference date.", "2026-01-21")
        .Help("Return the next QVL index publication date on or after the given date.")};

const Addin prev_publication_date{
    Proc::Function("PrevPublicationDate")
        .Argument("Q", "date", "Reference date.", "2026-01-21")
        .Help("Return the previous QVL index publication date on or before the given date.")};

const Addin day_count_act360{Proc::Function("DayCountACT360")
                                 .Argument("Q", "start_date", "Start date.", "2026-01-21")
                                 .Argument("Q", "end_date", "End date.", "2027-01-21")
                                 .Help("ACT/360 day-count fraction between two dates.")};

const Addin day_count_act365{Proc::Function("DayCountACT365")
                                 .Argument("Q", "start_date", "Start date.", "2026-01-21")
                                 .Argument("Q", "end_date", "End date.", "2027-01-21")
                                 .Help("ACT/365.25 day-count fraction between two dates.")};

const Addin date_from_tenor{
    Proc::Function("DateFromTenor")
        .Argument("Q", "date", "Starting date.", "2026-01-21")
        .Argument("Q", "tenor", "Tenor string (e.g. '3M', '1Y').", "1Y")
        .Help("Compute a future date by adding a tenor string and rolling to the next business "
              "day.")};

// QVL.ForwardRate1D and QVL.CashflowTable go here.

const Addin version{Proc::Function("Version").Help("Return the QVL add-in version string.")};

const Addin build_date{
    Proc::Function("BuildDate").Help("Return the date and time this add-in was compiled.")};

}  // namespace
