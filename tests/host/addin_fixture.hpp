#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/csv.hpp"
#include "host/host.hpp"

// Loads a fresh copy of an add-in file from its own temporary folder, so that every test sees
// the add-in's first load (logging off, nothing cached) and its own log file.
class AddinFixture : public testing::Test {
  protected:
    explicit AddinFixture(const char* built_file = QVL_XLL_PATH) : built_file_(built_file) {}

    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        folder_ = std::filesystem::temp_directory_path() /
                  ("qvl-host-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" +
                   info->name());
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        path_ = folder_ / std::filesystem::path(built_file_).filename();
        std::filesystem::copy_file(built_file_, path_);
        host.load(path_.string());
    }

    void TearDown() override {
        host.unload();
        EXPECT_EQ(host.outstanding(), 0u) << "host memory the add-in never gave back";
        std::filesystem::remove_all(folder_);
    }

    std::string log_text() const {
        std::ifstream in(std::filesystem::path(path_).replace_extension(".log"), std::ios::binary);
        return (std::ostringstream() << in.rdbuf()).str();
    }

    standin::Host host;
    std::filesystem::path path_;

  private:
    const char* built_file_;
    std::filesystem::path folder_;
};

using QvlAddin = AddinFixture;

// qvl.xll opened, the host's protocol checks asserted at the end of every test, and the
// example ranges as a sheet holds them.
class Workbook : public QvlAddin {
  protected:
    void SetUp() override {
        QvlAddin::SetUp();
        ASSERT_EQ(host.open(), 1);
    }
    void TearDown() override {
        EXPECT_TRUE(host.faults().empty()) << host.faults().front();
        QvlAddin::TearDown();
    }

    // #YC_1, #Series_2 and a buyer #Swap_3 on the reference data, curve dated 2026-01-20.
    void build_reference() {
        ASSERT_EQ(host.call("QVL.CreateCurve", {"2026-01-20", curve}), standin::Value("#YC_1"));
        ASSERT_EQ(host.call("QVL.CreateSeries", {1, series, factors}), standin::Value("#Series_2"));
        ASSERT_EQ(host.call("QVL.CreateSwap", {"#Series_2", "#YC_1"}), standin::Value("#Swap_3"));
    }

    // A worksheet call and the value its cell must show.
    struct Call {
        const char* function;
        std::vector<standin::Value> args;
        standin::Value expected;
    };
    void expect_calls(const std::vector<Call>& calls) {
        for (const Call& c : calls) {
            SCOPED_TRACE(c.function + testing::PrintToString(c.args));
            EXPECT_EQ(host.call(c.function, c.args), c.expected);
        }
    }

    static standin::Value example(const char* file) {
        return standin::read_csv(std::string(QVL_EXAMPLES_DIR "/") + file, std::nullopt);
    }
    const standin::Value curve = example("curve.csv");
    const standin::Value series = example("series.csv");
    const standin::Value factors = example("factors.csv");
};
