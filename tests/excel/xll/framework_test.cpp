#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

#include "xll/addin.hpp"
#include "xll/log.hpp"
#include "xll/version.hpp"
#include "xll/worksheet.hpp"
#include "xll/xloper.hpp"

extern "C" int xlAutoOpen();

namespace {

using xll::xloper;

TEST(LogLine, HasTheFixedFormat) {
    const xll::platform::LocalTime t{2026, 1, 5, 7, 8, 9, 42};
    EXPECT_EQ(xll::format_log_line(t, "xlAutoClose: begin"),
              "2026-01-05 07:08:09.042  xlAutoClose: begin\r\n");
    EXPECT_EQ(xll::format_log_line(t, std::string(5000, 'x')).size(), 2048u);
}

TEST(LogLine, LivesNextToTheLibrary) {
    EXPECT_EQ(xll::log_path_of(u"/opt/addins/qvl.xll"), u"/opt/addins/qvl.log");
    EXPECT_EQ(xll::log_path_of(u"C:\\AddIns\\qvl.xll"), u"C:\\AddIns\\qvl.log");
    EXPECT_EQ(xll::log_path_of(u"a.xl"), u"a.xl");
    EXPECT_EQ(xll::log_path_of(u""), u"");
    EXPECT_EQ(xll::module_name_of(u"/opt/addins/qvl.xll"), u"qvl");
    EXPECT_EQ(xll::module_name_of(u"C:\\AddIns\\qvl.xll"), u"qvl");
    EXPECT_EQ(xll::module_name_of(u""), u"");
}

TEST(Version, ReadsTheVersionBlock) {
    EXPECT_EQ(xll::version_text_of(std::array<std::uint32_t, 2>{0x000A0000, 0x0000FFFF}),
              "10.0.0.65535");
    EXPECT_EQ(xll::version_text_of(std::array<std::uint32_t, 2>{0x00020005, 0x00070009}),
              "2.5.7.9");
    EXPECT_EQ(xll::version_text_of(std::nullopt), "");
    EXPECT_EQ(xll::build_text_of("Built on 18-May-2026 20:41"), "18-May-2026 20:41");
    EXPECT_EQ(xll::build_text_of("Nightly build"), "Nightly build");
    EXPECT_EQ(xll::build_text_of(""), "");
    // The block is the add-in's, not the framework's: a program that hands over none has none.
    EXPECT_EQ(xll::version_text(), "");
    EXPECT_EQ(xll::build_date_text(), "");
}

// Adds an action to a list for the length of one test.
class ScopedAction {
  public:
    ScopedAction(xll::AutoKind kind, xll::AutoAction action) : kind_(kind) {
        xll::auto_actions(kind_).push_back(std::move(action));
    }
    ~ScopedAction() { xll::auto_actions(kind_).pop_back(); }

  private:
    xll::AutoKind kind_;
};

TEST(RunAutoMacros, StopsAtTheFirstFailure) {
    EXPECT_EQ(xll::Addin::RunAutoMacros(xll::AutoKind::Add, "caption"), 1);

    int runs = 0;
    ScopedAction first(xll::AutoKind::Add, [&] { return ++runs, 0; });
    ScopedAction second(xll::AutoKind::Add, [&] { return ++runs, 1; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(xll::Addin::RunAutoMacros(xll::AutoKind::Add, "xll::xlAutoAdd"), 0);
    const std::string box = testing::internal::GetCapturedStderr();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(box.rfind("xll::xlAutoAdd", 0), 0u) << box;
    EXPECT_NE(box.find("function: xll::Addin::RunAutoMacros ensure: \"macro()\" failed"),
              std::string::npos)
        << box;

    ScopedAction throwing(xll::AutoKind::Remove, []() -> int { throw 42; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(xll::Addin::RunAutoMacros(xll::AutoKind::Remove, "c"), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Unknown exception"), std::string::npos);
}

TEST(AutoOpen, SurvivesAMissingHost) {
    // Nothing is registered in this program and there is no host for the load message: the
    // entry point still reports success.
    EXPECT_EQ(xlAutoOpen(), 1);

    ScopedAction failing(xll::AutoKind::OpenBefore, [] { return 0; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(xlAutoOpen(), 0);
    testing::internal::GetCapturedStderr();
}

struct Sample {
    double rate = 1.5;
    double broken = std::numeric_limits<double>::infinity();
    std::string date = "2026-01-20";
};

template <class F>
void visit_fields(const Sample& s, F&& f) {
    f("Rate", s.rate);
    f("Broken", s.broken);
    f("Date", s.date);
}

TEST(Respond, TurnsEveryFailureIntoText) {
    xloper result;
    XLOPER12* r = xll::respond(result, [](xloper&) { throw std::out_of_range("bad index"); });
    EXPECT_EQ(r, &result);
    EXPECT_EQ(xll::utf8_of(result), "bad index");

    xll::respond(result, [](xloper&) { throw 7; });
    EXPECT_EQ(xll::utf8_of(result), "Unknown error");

    xll::respond(result, [](xloper& out) { xll::set_number(out, std::nan("")); });
    EXPECT_TRUE(result.IsString());
    EXPECT_EQ(result.CharCount(), 0);

    // A message longer than a cell is cut, not lost.
    xll::respond(result, [](xloper&) { throw std::runtime_error(std::string(40000, 'm')); });
    EXPECT_EQ(result.CharCount(), xll::charmax);

    // A grid that fails half-way is replaced as a whole.
    xll::respond(result, [](xloper& out) {
        xll::GridWriter grid(out, 2, 2);
        grid.text(0, 0, "label");
        grid.number(2, 0, 1.0);
    });
    EXPECT_EQ(xll::utf8_of(result), "Index out of bounds");
}

TEST(Respond, LaysRecordsOutAsLabelsAndValues) {
    xloper result;
    xll::respond(result, [](xloper& out) { xll::set_record_grid(out, Sample{}); });
    ASSERT_TRUE(result.IsMulti());
    ASSERT_EQ(result.rows(), 3);
    ASSERT_EQ(result.columns(), 2);
    EXPECT_EQ(xll::utf8_of(result.index(std::size_t{0})), "Rate");
    EXPECT_EQ(xll::numeric_of(result.index(std::size_t{1})), 1.5);
    EXPECT_TRUE(result.index(std::size_t{3}).IsString());  // a non-finite number shows empty
    EXPECT_EQ(result.index(std::size_t{3}).CharCount(), 0);
    EXPECT_EQ(xll::utf8_of(result.index(std::size_t{5})), "2026-01-20");
}

}  // namespace
