#pragma once

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qvl::text {

// A runtime error whose message may hold NUL characters, as one that echoes a text from a cell
// or a request can: what() ends at the first NUL, message() keeps every character. Copies share
// the text, so copying the error cannot throw.
class TextError : public std::runtime_error {
  public:
    explicit TextError(const std::string& message)
        : std::runtime_error(message), message_(std::make_shared<const std::string>(message)) {}

    const std::string& message() const noexcept { return *message_; }

  private:
    std::shared_ptr<const std::string> message_;
};

// The whole message of an error: message() of a TextError, what() of any other.
inline std::string_view message_of(const std::exception& error) {
    if (const auto* text = dynamic_cast<const TextError*>(&error)) return text->message();
    return error.what();
}

}  // namespace qvl::text
