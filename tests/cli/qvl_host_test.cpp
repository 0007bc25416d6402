// qvl-host as a user runs it: scripts, piped sessions, JSON, serving, and a bad add-in path.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "child_process.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome qvl_host(std::vector<std::string> args, const std::string& input = "",
                 const std::string& folder = "") {
    args.insert(args.begin(), QVL_HOST_PATH);
    ChildProcess child(args, input, folder);
    const int status = child.finish();
    return {status, child.out, child.err};
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A script in its own folder, with the example CSV files beside it.
class Script : public testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("qvl-cli-" + std::to_string(::getpid()) + "-" +
                   testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        for (const char* name : {"curve.csv", "series.csv", "factors.csv"}) {
            fs::copy_file(fs::path(QVL_EXAMPLES_DIR) / name, folder_ / name);
        }
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string write(const std::string& text, const char* name = "test.qvl") {
        std::ofstream(folder_ / name, std::ios::binary) << text;
        return (folder_ / name).string();
    }

    fs::path folder_;
};

const char* const objects =
    "curve = QVL.CreateCurve(\"2026-01-20\", csv(\"curve.csv\"))\n"
    "series = QVL.CreateSeries(1, csv(\"series.csv\", \"A3:E4\"), csv(\"factors.csv\"))\n"
    "swap = QVL.CreateSwap(series, curve, FALSE, , 5e6)\n";

TEST(QvlHost, ReferenceScriptGivesTheStoredOutput) {
    const Outcome r = qvl_host({QVL_EXAMPLES_DIR "/reference.qvl"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, read_file(QVL_EXAMPLES_DIR "/reference.out"));
}

TEST_F(Script, NamesCarryHandlesNumbersAndGridsIntoLaterCalls) {
    const Outcome r = qvl_host(
        {write(std::string(objects) + "QVL.GetSwapInfo(swap)\n"
                                      "d = QVL.DateFromTenor(\"2026-01-21\", \"1Y\")\n"
                                      "QVL.DayCountACT360(\"2026-01-21\", d)\n"
                                      "rates = csv(\"curve.csv\", \"A2:B16\")\n"
                                      "QVL.CreateCurve(\"2026-01-20\", rates)\n"
                                      "QVL.RollToFollowingBD(\"2026-01-17\", )\n"
                                      "qvl.calcfromeventrate(swap, \"2026-01-20\", \"150\")\n"
                                      "QVL.CalcFromEventRate(swap, \"2026-01-20\", rates)\n"
                                      "QVL.GetSeriesInfo(curve)\n")});
    EXPECT_EQ(r.status, 0) << r.err;
    // Tables compared with their alignment squeezed out.
    const std::string o = std::regex_replace(r.out, std::regex(" +"), " ");
    EXPECT_NE(o.find("> swap = QVL.CreateSwap(series, curve, FALSE, , 5e6)\n#Swap_3\n"),
              std::string::npos);
    EXPECT_NE(o.find("Pay Fixed/Float Pay Floating\nEvent Rate (bps) 200\nNotional 5000000\n"),
              std::string::npos);
    EXPECT_NE(o.find("46408\n> QVL.DayCountACT360(\"2026-01-21\", d)\n1.01388888888889\n"),
              std::string::npos);
    EXPECT_NE(o.find("\n#YC_4\n"), std::string::npos);  // a curve from a rectangle
    EXPECT_NE(o.find("\n46042\n"), std::string::npos);  // an omitted roll_days
    EXPECT_NE(o.find("Credit Event Rate (bp) 150\n"), std::string::npos);
    EXPECT_NE(o.find("\n#VALUE!\n"), std::string::npos);  // a grid where a number belongs
    EXPECT_NE(o.find("Series handle not found: #YC_1\n"), std::string::npos);
}

TEST_F(Script, ANamedLineRunAgainReplacesItsObjectsLikeACell) {
    const Outcome r =
        qvl_host({write(std::string(objects) +
                        "curve = QVL.CreateCurve(\"2026-01-20\", csv(\"curve.csv\"))\n"  // #YC_4
                        "QVL.DiscountFactor(\"#YC_1\", \"2026-01-21\")\n"
                        "QVL.CalcFromEventRate(swap, \"2026-01-20\", 200)\n"     // holds #YC_1
                        "QVL.CreateCurve(\"2026-01-20\", csv(\"curve.csv\"))\n"  // #YC_5, no cell
                        "QVL.CreateCurve(\"2026-01-20\", csv(\"curve.csv\"))\n"  // #YC_6
                        "QVL.DiscountFactor(\"#YC_5\", \"2026-01-21\")\n"
                        "series = QVL.CreateSeries(7, csv(\"series.csv\"), csv(\"factors.csv\"))\n"
                        "QVL.GetSeriesInfo(\"#Series_2\")\n")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("#YC_4\n> QVL.DiscountFactor(\"#YC_1\", \"2026-01-21\")\n"
                         "Curve handle not found: #YC_1\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Upfront Fee (%)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"2026-01-21\")\n0.99"), std::string::npos) << r.out;  // #YC_5 stays
    // A failing run of the line drops what it made before.
    EXPECT_NE(r.out.find("Series handle not found: #Series_2\n"), std::string::npos) << r.out;
}

TEST_F(Script, AFaultyLineStopsTheScriptUnlessKeepGoing) {
    const std::string script = write(
        "QVL.Version()\n"
        "x = QVL.DateFromTenor(\"2026-01-21\", y)\n"
        "QVL.IsBusinessDay(\"2026-01-20\")\n"
        "QVL.Nothing(1)\n"
        "QVL.IsBusinessDay(1, 2)\n"
        "csv(\"missing.csv\")\n");
    const Outcome stopped = qvl_host({script});
    EXPECT_EQ(stopped.status, 1);
    EXPECT_EQ(stopped.out.find("TRUE"), std::string::npos);
    EXPECT_EQ(stopped.err, script +
                               ":2:37: error: no result is named y\n"
                               "  x = QVL.DateFromTenor(\"2026-01-21\", y)\n"
                               "                                      ^\n");

    const Outcome going = qvl_host({"--keep-going", script});
    EXPECT_EQ(going.status, 1);
    EXPECT_NE(going.out.find("TRUE\n"), std::string::npos);
    EXPECT_NE(going.err.find(":4:1: error: no function QVL.Nothing is registered"),
              std::string::npos);
    EXPECT_NE(going.err.find(":5:22: error: QVL.IsBusinessDay takes 1 argument"),
              std::string::npos);
    EXPECT_NE(going.err.find(":6:1: error: cannot read " + (folder_ / "missing.csv").string()),
              std::string::npos)
        << going.err;
}

TEST_F(Script, JsonLines) {
    const Outcome r = qvl_host({"--json", "-"},
                               std::string(objects) +
                                   "# a comment\n"
                                   "QVL.GetSeriesInfo(series)\n"
                                   "QVL.IsBusinessDay(\"2026-01-19\")\n"
                                   "QVL.DateFromTenor(\"2026-01-21\", \"1Y\"\n",
                               folder_.string());
    EXPECT_EQ(r.status, 1);
    std::istringstream lines(r.out);
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) {
        got.push_back(line);
    }
    ASSERT_EQ(got.size(), 6u) << r.out;
    EXPECT_EQ(got[0],
              R"j({"line":1,"name":"curve","formula":"curve = QVL.CreateCurve(\"2026-01-20\", )j"
              R"j(csv(\"curve.csv\"))","value":"#YC_1"})j");
    EXPECT_EQ(got[3], R"j({"line":5,"formula":"QVL.GetSeriesInfo(series)","value":[["Index","1"],)j"
                      R"j(["Name","1 (Sep 25)"],["Start Date","2025-09-11"],)j"
                      R"j(["Maturity Date","2030-12-11"],["Coupon (bps)",200]]})j");
    EXPECT_EQ(got[4],
              R"j({"line":6,"formula":"QVL.IsBusinessDay(\"2026-01-19\")","value":false})j");
    EXPECT_EQ(got[5], R"j({"file":"<stdin>","line":7,"column":37,"error":"expected ')'"})j");
}

TEST(QvlHost, PipedSessionOffersHelpAndTheFunctionList) {
    const Outcome r = qvl_host({}, "help QVL.TradePnL\nhelp\nquit\nQVL.Version()\n");
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

    const Outcome list = qvl_host({"--list"});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("\nQVL.CashflowTable(swap, trade_date, credit_event_rate)\n"),
              std::string::npos);
    EXPECT_NE(list.out.find("\nQVL.Risk(swap, trade_date, credit_event_rate)\n"),
              std::string::npos);
    EXPECT_NE(list.out.find("\ncellkit.ToggleLogging()  [command]\n"), std::string::npos);
}

TEST(QvlHost, AMissingOrWrongAddinIsNamed) {
    const Outcome missing = qvl_host({"--addin", "/nonexistent/qvl.xll", "--list"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("no add-in at /nonexistent/qvl.xll"), std::string::npos);

    const Outcome not_loadable = qvl_host({"--addin", QVL_EXAMPLES_DIR "/curve.csv", "--list"});
    EXPECT_EQ(not_loadable.status, 2);
    EXPECT_NE(not_loadable.err.find("cannot load the add-in"), std::string::npos);

    const Outcome not_addin = qvl_host({"--addin=" NOT_ADDIN_PATH, "--list"});
    EXPECT_EQ(not_addin.status, 2);
    EXPECT_NE(not_addin.err.find("is not an add-in: it registered no functions"),
              std::string::npos);
    EXPECT_EQ(not_addin.out, "");

    const Outcome usage = qvl_host({"--serve", "70000"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("not a port: 70000"), std::string::npos);
}

int free_loopback_port() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(s);
    return ntohs(a.sin_port);
}

std::string http_exchange(int port, const std::string& request) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval limit{10, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::send(s, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(s, buffer, sizeof buffer, 0)) > 0;) {
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(s);
    return answer;
}

TEST_F(Script, ServesAfterTheScriptAndStopsCleanlyOnSigterm) {
    if (qvl_host({"--list"}).out.find("QVL.HttpStart(") == std::string::npos) {
        GTEST_SKIP() << "the add-in registers no QVL.HttpStart";
    }
    const int port = free_loopback_port();
    ChildProcess child({QVL_HOST_PATH, write(objects), "--serve", std::to_string(port)}, "");
    ASSERT_TRUE(
        child.wait_for_output("HTTP server running on port " + std::to_string(port) + "\n", 60s))
        << child.out << child.err;

    const std::string body = R"({"Request":"Calculate","swap":"#Swap_3","Trade Date":"2026-01-20",)"
                             R"("Credit Event Rate":200})";
    const std::string answer =
        http_exchange(port,
                      "POST /qvl HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                      "Content-Type: application/json\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
    EXPECT_NE(answer.find(R"("Cash Settlement Amount":-370.47)"), std::string::npos) << answer;
    EXPECT_NE(
        http_exchange(port, "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")
            .find(R"({"status":"ok","curves":1,"series":1,"swaps":1})"),
        std::string::npos);

    child.signal(SIGTERM);
    EXPECT_EQ(child.finish(60s), 0) << child.err;
    EXPECT_NE(child.out.find("> QVL.HttpStop()\nHTTP server stopped\n"), std::string::npos)
        << child.out;
    EXPECT_EQ(http_exchange(port, "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"), "");
}

}  // namespace
