#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "xll/xloper.hpp"

namespace xll {

// One argument of a registered item: type code, name, help text and default text. The default
// is documentation only; each function applies its own defaults to missing arguments.
struct Arg {
    std::u16string type;
    std::u16string name;
    std::u16string help;
    std::u16string default_text;
};

// The registration record of one worksheet function or command: what goes to the host's
// register call, position by position.
class Proc {
  public:
    // A worksheet function returning "U".
    static Proc worksheet(std::string_view procedure, std::string_view function_text,
                          std::string_view category);
    // A command (type "A", no arguments, no category) exported under its procedure name.
    static Proc command(std::string_view procedure, std::string_view command_text);

    Proc& argument(std::string_view type, std::string_view name, std::string_view help,
                   std::string_view default_text = {});
    Proc& mark_volatile();
    Proc& help(std::string_view function_help);

    // Return code, "!" when volatile, then one code per argument.
    std::u16string type_text() const;
    // Argument names joined with ", ".
    std::u16string argument_text() const;

    // The register and unregister actions: 1 on success, 0 (after a message box) on an error.
    // A registration the host rejects raises an alert and still counts as done, so that the
    // remaining items get registered.
    int Register() const;
    int unregister() const;

  private:
    std::u16string procedure_;
    char16_t return_code_ = u'U';
    std::u16string function_text_;
    std::u16string category_;
    std::u16string function_help_;
    std::vector<Arg> arguments_;
    int macro_type_ = 1;
    bool volatile_ = false;
};

enum class AutoKind { OpenBefore = 1, Open = 2, OpenAfter = 3, Close = 4, Add = 5, Remove = 6 };

// An action run by an entry point; non-zero means success.
using AutoAction = std::function<int()>;

// The process-wide list of actions of one kind, in insertion order.
std::vector<AutoAction>& auto_actions(AutoKind kind);

// One registered item. Constructing it files its register action in the Open list and its
// unregister action in the Close list, so the order of construction is the order of
// registration.
class Addin {
  public:
    explicit Addin(const Proc& proc);

    // Runs the actions of a kind in order, stopping at the first failure. Every error is shown
    // in a message box with the given caption and gives 0; otherwise 1.
    static int RunAutoMacros(AutoKind kind, const char* caption) noexcept;
};

// Asks the host to run a command seconds from now (0 cancels such a request). Host errors are
// logged, not raised.
void SetupCallback(const std::u16string& command, double seconds);

}  // namespace xll
