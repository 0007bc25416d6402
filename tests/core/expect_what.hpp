#pragma once

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

// Expects f to throw E (or a kind of it) with exactly the given message.
template <class E = std::runtime_error, class F>
void expect_what(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const E& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}
