#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "xll/host_api.hpp"
#include "xll/xloper.hpp"

namespace xll {

// One argument of a registered item: type code, name, help text and default text. The host sees
// the type, name and help; the default text, the value the function gives the argument when it
// is missing, is documentation (tests check it against the function).
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
    // A worksheet function; result_type is the host's type code of what it returns.
    static Proc worksheet(std::string_view procedure, std::string_view function_text,
                          std::string_view category, std::string_view result_type = "U");
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
    const std::u16string& function_text() const { return function_text_; }
    const std::vector<Arg>& arguments() const { return arguments_; }

    // The register and unregister actions: 1 on success, 0 (after a message box) on an error.
    // A registration the host rejects raises an alert and still counts as done, so that the
    // remaining items get registered.
    int Register() const;
    int unregister() const;

  private:
    std::u16string procedure_;
    std::u16string return_code_ = u"U";
    std::u16string function_text_;
    std::u16string category_;
    std::u16string function_help_;
    std::vector<Arg> arguments_;
    int macro_type_ = 1;
    bool volatile_ = false;
};

// The host's type code of a C++ parameter or result type. A type without one does not compile.
template <class T>
struct TypeCode;
template <>
struct TypeCode<XLOPER12*> {
    static constexpr std::string_view argument = "Q";  // a value, never a reference
    static constexpr std::string_view result = "U";
};
template <>
struct TypeCode<double> {
    static constexpr std::string_view argument = "B";
    static constexpr std::string_view result = "B";
};

// An argument as a declaration describes it: the name the host shows, its help text and, when
// the function gives a missing argument a value of its own, that value as text. There is no
// empty description, so a declaration that describes fewer arguments than its function takes
// does not compile.
struct ArgumentText {
    ArgumentText(std::string_view name, std::string_view help, std::string_view default_text = {})
        : name(name), help(help), default_text(default_text) {}
    std::string_view name;
    std::string help;
    std::string default_text;
};

// The record of a worksheet function from its declaration: the type codes come from the
// function's own parameter and result types, and each parameter has exactly one description.
template <class R, class... P>
Proc worksheet_record(R (*)(P...), std::string_view procedure, std::string_view function_text,
                      std::string_view category, bool is_volatile, std::string_view help,
                      const std::array<ArgumentText, sizeof...(P)>& arguments) {
    Proc proc = Proc::worksheet(procedure, function_text, category, TypeCode<R>::result);
    if (is_volatile) proc.mark_volatile();
    std::size_t i = 0;
    ((proc.argument(TypeCode<P>::argument, arguments[i].name, arguments[i].help,
                    arguments[i].default_text),
      ++i),
     ...);
    return proc.help(help);
}

enum class AutoKind { OpenBefore = 1, Open = 2, OpenAfter = 3, Close = 4, Add = 5, Remove = 6 };

// An action run by an entry point; non-zero means success.
using AutoAction = std::function<int()>;

// The process-wide list of actions of one kind, in insertion order.
std::vector<AutoAction>& auto_actions(AutoKind kind);

// One item the add-in registers, at its place in the registration order. Defined at namespace
// scope in any file of the add-in, it is filed while the library loads. The Open actions begin
// by registering every filed item in the order of the places, lowest first, and the Close
// actions end by unregistering them in that order; so the order is the places' whatever order
// the files are initialised or linked in. Two items must not share a place: opening fails.
class Addin {
  public:
    Addin(int place, Proc proc);

    // The filed items' records in registration order.
    static std::vector<const Proc*> items();

    // Runs the actions of a kind in order, stopping at the first failure. Every error is shown
    // in a message box with the given caption and gives 0; otherwise 1.
    static int RunAutoMacros(AutoKind kind, const char* caption) noexcept;
};

// Asks the host to run a command seconds from now (0 cancels such a request). Host errors are
// logged, not raised.
void SetupCallback(const std::u16string& command, double seconds);

}  // namespace xll
