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
    const std::set<std::string> exported = defined_dynamic_symbols(path_);
    std::vector<std::string> extra, missing;
    std::set_difference(exported.begin(), exported.end(), wanted.begin(), wanted.end(),
                        std::back_inserter(extra));
    std::set_difference(wanted.begin(), wanted.end(), exported.begin(), exported.end(),
                        std::back_inserter(missing));
    EXPECT_TRUE(extra.empty()) << "never registered: " << testing::PrintToString(extra);
    EXPECT_TRUE(missing.empty()) << "not exported: " << testing::PrintToString(missing);
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
