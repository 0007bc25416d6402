#pragma once

#include <gtest/gtest.h>

#include <string>

// Expects f to throw exactly E with the given message.
template <class E, class F>
void expect_what(F&& f, const std::string& message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const E& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}
