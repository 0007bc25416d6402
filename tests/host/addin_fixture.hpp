#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/host.hpp"

// Loads a fresh copy of an add-in file from its own temporary folder, so that every test sees
// the add-in's first load (logging off, nothing cached) and its own log file.
class AddinFixture : public testing::Test {
  protected:
    explicit AddinFixture(const char* built_file) : built_file_(built_file) {}

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

    std::filesystem::path log_file() const {
        return std::filesystem::path(path_).replace_extension(".log");
    }

    std::string log_text() const {
        std::ifstream in(log_file(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    standin::Host host;
    std::filesystem::path path_;

  private:
    const char* built_file_;
    std::filesystem::path folder_;
};

class QvlAddin : public AddinFixture {
  protected:
    QvlAddin() : AddinFixture(QVL_XLL_PATH) {}
};

// qvl.xll opened, with the host's protocol checks asserted at the end of every test.
class OpenQvlAddin : public QvlAddin {
  protected:
    void SetUp() override {
        QvlAddin::SetUp();
        ASSERT_EQ(host.open(), 1);
    }
    void TearDown() override {
        EXPECT_TRUE(host.faults().empty()) << host.faults().front();
        QvlAddin::TearDown();
    }
};
