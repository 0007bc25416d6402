// qvl.xll loaded by the stand-in host: registration, exports, lifecycle, logging and what the
// add-in says about itself.

#include "xll/addin.hpp"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "addin_fixture.hpp"
#include "text/utf.hpp"

namespace {

using standin::Value;

using Registrations = Workbook;

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

// A host looks up the entry points and each registered procedure by name, and nothing else may
// leave the add-in: any other exported name (a library's statics, type information, template
// code) could bind to another library's copy of it in the same host process. Each worksheet
// function is QVL.Name in the category "QVL", exported as ?QVL_Name; each command is exported
// under its own name.
TEST_F(Registrations, ExportsExactlyTheEntryPointsAndRegisteredProcedures) {
    std::set<std::string> wanted = {"xlAutoOpen",   "xlAutoClose",      "xlAutoAdd",
                                    "xlAutoRemove", "xlAutoRegister12", "xlAutoFree12"};
    for (const standin::Registration& r : host.registrations()) {
        const std::string& name = r.function_text;
        const bool worksheet = name.rfind("QVL.", 0) == 0;
        EXPECT_EQ(r.procedure, worksheet ? "?QVL_" + name.substr(4) : name.substr(8)) << name;
        EXPECT_EQ(r.category, worksheet ? "QVL" : "") << name;
        EXPECT_EQ(r.macro_type, worksheet ? 1 : 2) << name;
        EXPECT_EQ(r.module, path_.string());
        wanted.insert(r.procedure);
    }
    EXPECT_EQ(defined_dynamic_symbols(path_), wanted);
}

// A default text as the value a cell would hold: TRUE or FALSE, a number, or a text.
Value cell_value(const std::string& text) {
    if (text == "TRUE" || text == "FALSE") return Value::boolean(text == "TRUE");
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' ? Value(number) : Value(text.c_str());
}

// Every default a declaration names is what its function does with the argument left out: the
// call with that argument missing answers as the call with the default given. The declarations
// are read from the functions linked into this test, the calls go to the add-in loaded from the
// same sources.
TEST_F(Registrations, AppliesEveryDeclaredDefaultToAMissingArgument) {
    const std::vector<const xll::Proc*> declared = xll::Addin::items();
    std::vector<std::string> declared_names, registered_names;
    for (const xll::Proc* p : declared) {
        declared_names.push_back(qvl::text::utf16_to_utf8(p->function_text()));
    }
    for (const standin::Registration& r : host.registrations()) {
        if (r.macro_type == 1) registered_names.push_back(r.function_text);
    }
    ASSERT_EQ(declared_names, registered_names);

    build_reference();
    // Every value differs from every default, so that each default shows on its own.
    const std::map<std::string, Value> samples = {{"series", "#Series_2"},
                                                  {"curve", "#YC_1"},
                                                  {"swap", "#Swap_3"},
                                                  {"is_buyer", Value::boolean(false)},
                                                  {"credit_event_rate", 150},
                                                  {"notional", 5e6},
                                                  {"trade_date", "2026-01-20"},
                                                  {"clean_price", 99.5},
                                                  {"IsTradeInitiation", 0},
                                                  {"date", "2026-01-21"},
                                                  {"trade_date_1", "2025-09-11"},
                                                  {"clean_price_1", 100.4523},
                                                  {"trade_date_2", "2026-01-20"},
                                                  {"clean_price_2", 99.5477}};
    // A new swap is shown by its details, since every call makes one under a new handle.
    const auto shown = [&](const Value& answer) {
        const bool swap = answer.kind() == Value::Kind::text && answer.text().starts_with("#Swap_");
        return swap ? host.call("QVL.GetSwapInfo", {answer}) : answer;
    };
    int checked = 0;
    for (std::size_t f = 0; f < declared.size(); ++f) {
        const std::vector<xll::Arg>& arguments = declared[f]->arguments();
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            if (arguments[i].default_text.empty()) continue;
            std::vector<Value> args(arguments.size());
            for (std::size_t j = 0; j < arguments.size(); ++j) {
                if (j == i) continue;
                const std::string name = qvl::text::utf16_to_utf8(arguments[j].name);
                ASSERT_TRUE(samples.contains(name)) << "no sample value for " << name;
                args[j] = samples.at(name);
            }
            args[i] = Value::missing();
            SCOPED_TRACE(declared_names[f] + testing::PrintToString(args));
            const Value left_out = shown(host.call(declared_names[f], args));
            args[i] = cell_value(qvl::text::utf16_to_utf8(arguments[i].default_text));
            EXPECT_EQ(left_out, shown(host.call(declared_names[f], args)));
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
    host.call("QVL.HttpStop");
}

TEST_F(Registrations, SaysWhatItIsAndUnregistersOnClose) {
    EXPECT_EQ(host.status_bar(), std::optional<std::string>("qvl addin is loaded"));
    host.advance(6);
    EXPECT_FALSE(host.status_bar().has_value());
    EXPECT_EQ(host.call("QVL.Version"), Value(QVL_VERSION));
    const std::string built = host.call("QVL.BuildDate").text();
    EXPECT_TRUE(std::regex_match(built, std::regex(R"(\d{2}-[A-Z][a-z]{2}-\d{4} \d{2}:\d{2})")))
        << built;

    const std::size_t items = host.registrations().size();
    EXPECT_EQ(host.close(), 1);
    EXPECT_TRUE(host.registrations().empty());
    EXPECT_THROW(host.call("QVL.Version"), std::invalid_argument);
    ASSERT_EQ(host.open(), 1);
    EXPECT_EQ(host.registrations().size(), items);
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
    EXPECT_EQ(host.find("QVL.Version"), nullptr);
    EXPECT_NE(host.find("QVL.BuildDate"), nullptr);
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
