#pragma once

#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qvl::text {

// The whole message of an error that may hold NUL characters, as one that echoes a text from a
// cell or a request can: what() ends at the first NUL, message() keeps every character. Copies
// share the text, so copying the error cannot throw.
class WholeMessage {
  public:
    const std::string& message() const noexcept { return *message_; }

  protected:
    explicit WholeMessage(const std::string& message)
        : message_(std::make_shared<const std::string>(message)) {}
    ~WholeMessage() = default;

  private:
    std::shared_ptr<const std::string> message_;
};

// An error of the standard kind Base (std::invalid_argument, say, so that callers catching by
// kind still catch it) whose message keeps every character.
template <class Base>
class BasicTextError : public Base, public WholeMessage {
  public:
    explicit BasicTextError(const std::string& message) : Base(message), WholeMessage(message) {}
};

using TextError = BasicTextError<std::runtime_error>;

// The whole message of an error: message() of a text error, what() of any other.
inline std::string_view message_of(const std::exception& error) {
    if (const auto* whole = dynamic_cast<const WholeMessage*>(&error)) return whole->message();
    return error.what();
}

}  // namespace qvl::text
