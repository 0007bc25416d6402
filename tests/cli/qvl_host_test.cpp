// qvl-host as a user runs it: scripts, piped sessions, JSON, serving, and a bad add-in path.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "../http/http_client.hpp"
#include "child_process.hpp"

namespace {

using namespace std::string_literals;
using qvl::service::testing::Client;

// qvl-host run to its end, by default in the examples folder.
struct Outcome : ChildProcess {
    Outcome(std::vector<std::string> args, const std::string& input = "",
            const std::string& folder = QVL_EXAMPLES_DIR)
        : ChildProcess((args.insert(args.begin(), QVL_HOST_PATH), args), input, folder) {
        finish();
    }
};

const std::string objects =
    "curve = QVL.CreateCurve(\"2026-01-20\", csv(\"curve.csv\"))\n"
    "series = QVL.CreateSeries(1, csv(\"series.csv\", \"A3:E4\"), csv(\"factors.csv\"))\n"
    "swap = QVL.CreateSwap(series, curve, FALSE, , 5e6)\n";

// The reference figures of every worksheet function, as the cells show them.
TEST(QvlHost, ReferenceScriptGivesTheStoredOutput) {
    const Outcome r({QVL_EXAMPLES_DIR "/reference.qvl"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::ifstream stored(QVL_EXAMPLES_DIR "/reference.out", std::ios::binary);
    EXPECT_EQ(r.out, (std::ostringstream() << stored.rdbuf()).str());
}

TEST(Script, NamesCarryHandlesNumbersAndGridsIntoLaterCalls) {
    const Outcome r({"-"}, objects +
                               "d = QVL.DateFromTenor(\"2026-01-21\", \"1Y\")\n"
                               "QVL.DayCountACT360(\"2026-01-21\", d)\n"
                               "rates = csv(\"curve.csv\", \"A2:B16\")\n"
                               "QVL.CreateCurve(\"2026-01-20\", rates)\n"
                               "QVL.RollToFollowingBD(\"2026-01-17\", )\n"
                               "qvl.calcfromeventrate(swap, \"2026-01-20\", \"150\")\n"
                               "QVL.CalcFromEventRate(swap, \"2026-01-20\", rates)\n"
                               // A named line is a cell: run again, even failing, it drops
                               // what it made before.
                               "curve = QVL.CreateCurve(\"2026-01-20\", rates)\n"
                               "QVL.DiscountFactor(\"#YC_1\", d)\n"
                               "series = QVL.CreateSeries(7, rates, rates)\n"
                               "QVL.GetSeriesInfo(\"#Series_2\")\n");
    EXPECT_EQ(r.status, 0) << r.err;
    // Tables compared with their alignment squeezed out.
    const std::string o = std::regex_replace(r.out, std::regex(" +"), " ");
    for (const char* part : {
             "#YC_1\n#Series_2\n#Swap_3\n",
             "46408\n1.01388888888889\n",
             "\n#YC_4\n",                     // a curve from a rectangle
             "\n46042\n",                     // an omitted roll_days
             "Credit Event Rate (bp) 150\n",  // a text that is a number
             "\n#VALUE!\n",                   // a grid where a number belongs
             "#YC_5\nCurve handle not found: #YC_1\n",
             "Series handle not found: #Series_2\n",
         }) {
        EXPECT_NE(o.find(part), std::string::npos) << part << " in\n" << o;
    }
}

TEST(Script, AFaultyLineStopsTheScriptUnlessKeepGoing) {
    const std::string script =
        "QVL.Version()\n"
        "x = QVL.DateFromTenor(\"2026-01-21\", y)\n"
        "QVL.IsBusinessDay(\"2026-01-20\")\n"
        "QVL.Nothing(1)\n"
        "QVL.IsBusinessDay(1, 2)\n"
        "csv(\"missing.csv\")\n";
    const Outcome stopped({"-"}, script);
    EXPECT_EQ(stopped.status, 1);
    EXPECT_EQ(stopped.out.find("TRUE"), std::string::npos);
    EXPECT_EQ(stopped.err,
              "<stdin>"
              ":2:37: error: no result is named y\n"
              "  x = QVL.DateFromTenor(\"2026-01-21\", y)\n"
              "                                      ^\n");

    const Outcome going({"--keep-going", "-"}, script);
    EXPECT_EQ(going.status, 1);
    EXPECT_NE(going.out.find("TRUE\n"), std::string::npos);
    for (const std::string& part : {":4:1: error: no function QVL.Nothing is registered"s,
                                    ":5:22: error: QVL.IsBusinessDay takes 1 argument"s,
                                    ":6:1: error: cannot read missing.csv"s}) {
        EXPECT_NE(going.err.find(part), std::string::npos) << going.err;
    }
}

TEST(Script, JsonLines) {
    const Outcome r({"--json", "-"},
                    "c = QVL.CreateCurve(\"2026-01-20\", csv(\"curve.csv\"))\n"
                    "# a comment\n"
                    "QVL.CalcFromEventRate(c, 0)\n"
                    "QVL.DateFromTenor(\"2026-01-21\", \"1Y\"\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, R"j({"line":1,"name":"c","formula":"c = QVL.CreateCurve(\"2026-01-20\", )j"
                     R"j(csv(\"curve.csv\"))","value":"#YC_1"})j"
                     "\n"
                     R"j({"line":3,"formula":"QVL.CalcFromEventRate(c, 0)","value":)j"
                     R"j("Swap handle not found: #YC_1"})j"
                     "\n"
                     R"j({"file":"<stdin>","line":4,"column":37,"error":"expected ')'"})j"
                     "\n");
}

TEST(QvlHost, PipedSessionOffersHelpAndTheFunctionList) {
    const Outcome r({}, "help QVL.TradePnL\nhelp\nquit\nQVL.Version()\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("QVL.TradePnL(swap, trade_date_1, clean_price_1, trade_date_2, "
                         "clean_price_2, event_rate)\n"
                         "  Compute PnL between two trade dates given clean prices. Returns a "
                         "14x2 grid.\n"
                         "    swap           Handle string from QVL.CreateSwap.\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Functions:\n  QVL.RunTests()\n"), std::string::npos);
    EXPECT_EQ(r.out.find("1.0"), std::string::npos);  // nothing after quit

    const Outcome list({"--list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("\ncellkit.ToggleLogging()  [command]\n"), std::string::npos);
}

TEST(QvlHost, AMissingOrWrongAddinIsNamed) {
    for (const auto& [args, message] :
         std::vector<std::pair<std::vector<std::string>, const char*>>{
             {{"--addin", "/nonexistent/qvl.xll", "--list"}, "no add-in at /nonexistent/qvl.xll"},
             {{"--addin", QVL_EXAMPLES_DIR "/curve.csv", "--list"}, "cannot load the add-in"},
             {{"--addin=" NOT_ADDIN_PATH, "--list"},
              "is not an add-in: it registered no functions"},
             {{"--serve", "70000"}, "not a port: 70000"},
         }) {
        const Outcome r(args);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
}

TEST(Script, ServesAfterTheScriptAndStopsCleanlyOnSigterm) {
    std::uint16_t port = 0;
    ::close(qvl::service::testing::loopback_socket(port, false));
    ChildProcess child({QVL_HOST_PATH, "-", "--serve", std::to_string(port)}, objects,
                       QVL_EXAMPLES_DIR);
    ASSERT_TRUE(child.wait_for_output("HTTP server running on port " + std::to_string(port) + "\n"))
        << child.out << child.err;

    const auto answer =
        Client(port).request("POST", "/qvl",
                             R"({"Request":"Calculate","swap":"#Swap_3","Trade Date":"2026-01-20",)"
                             R"("Credit Event Rate":200})");
    EXPECT_EQ(answer.status, 200);
    EXPECT_NE(answer.body.find(R"("Cash Settlement Amount":-370.47)"), std::string::npos)
        << answer.body;

    child.signal(SIGTERM);
    EXPECT_EQ(child.finish(), 0) << child.err;
    EXPECT_NE(child.out.find("> QVL.HttpStop()\nHTTP server stopped\n"), std::string::npos)
        << child.out;
}

}  // namespace
