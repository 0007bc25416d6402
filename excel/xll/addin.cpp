#include "xll/addin.hpp"

#include <algorithm>
#include <exception>
#include <map>
#include <stdexcept>

#include "xll/ensure.hpp"
#include "xll/host_call.hpp"
#include "xll/platform.hpp"

namespace xll {

namespace {

std::u16string wide(std::string_view utf8) {
    const int n = platform::utf8_to_utf16(utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::u16string out(static_cast<std::size_t>(n), u'\0');
    platform::utf8_to_utf16(utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(std::u16string_view text) {
    return platform::utf16_to_utf8(text);
}

void show_action_error(const char* text) {
    platform::message_box(text, "AddIn Auto<Close> failed", platform::BoxIcon::error);
}

// Runs a registration action for the auto-action lists: 1 when it succeeds; when it throws, the
// error is shown to the user and 0 returned, so that the lists go on with the next record.
template <class Action>
int run_action(Action&& action) {
    try {
        action();
        return 1;
    } catch (const std::exception& e) {
        show_action_error(e.what());
    } catch (...) {
        show_action_error("Unknown exception");
    }
    return 0;
}

}  // namespace

Proc Proc::worksheet(std::string_view procedure, std::string_view function_text,
                     std::string_view category, std::string_view result_type) {
    Proc p;
    p.procedure_ = wide(procedure);
    p.return_code_ = wide(result_type);
    p.function_text_ = wide(function_text);
    p.category_ = wide(category);
    p.macro_type_ = xl_macro_function;
    return p;
}

Proc Proc::command(std::string_view procedure, std::string_view command_text) {
    Proc p;
    p.procedure_ = wide(procedure);
    p.return_code_ = wide("A");
    p.function_text_ = wide(command_text);
    p.macro_type_ = xl_macro_command;
    return p;
}

Proc& Proc::argument(std::string_view type, std::string_view name, std::string_view help,
                     std::string_view default_text) {
    arguments_.push_back(Arg{wide(type), wide(name), wide(help), wide(default_text)});
    return *this;
}

Proc& Proc::mark_volatile() {
    volatile_ = true;
    return *this;
}

Proc& Proc::help(std::string_view function_help) {
    function_help_ = wide(function_help);
    return *this;
}

std::u16string Proc::type_text() const {
    std::u16string text = return_code_;
    if (volatile_) {
        text += u'!';
    }
    for (const Arg& a : arguments_) {
        text += a.type;
    }
    return text;
}

std::u16string Proc::argument_text() const {
    std::u16string text;
    for (const Arg& a : arguments_) {
        if (!text.empty()) {
            text += u", ";
        }
        text += a.name;
    }
    return text;
}

int Proc::Register() const {
    return run_action([this] {
        const xloper procDllName(procedure_);
        XLL_ENSURE("xll::Proc::Register", procDllName.IsString() && procDllName.CharCount() > 1);
        const xloper module = call_host(xlGetName);
        const xloper type(type_text());
        const xloper function(function_text_);
        const xloper macro(static_cast<double>(macro_type_));

        std::vector<xloper> args;
        xloper id;
        if (macro_type_ == xl_macro_command) {
            id = call_host(xlfRegister, module, procDllName, type, function, Nil, macro);
        } else {
            const xloper names(argument_text());
            const xloper category(category_);
            const xloper help(function_help_);
            std::vector<XLOPER12*> pointers{
                const_cast<xloper*>(&module),   const_cast<xloper*>(&procDllName),
                const_cast<xloper*>(&type),     const_cast<xloper*>(&function),
                const_cast<xloper*>(&names),    const_cast<xloper*>(&macro),
                const_cast<xloper*>(&category), const_cast<XLOPER12*>(&Nil),
                const_cast<XLOPER12*>(&Nil),    const_cast<xloper*>(&help)};
            args.reserve(arguments_.size());
            for (const Arg& a : arguments_) {
                args.emplace_back(a.help);
            }
            for (xloper& a : args) {
                pointers.push_back(&a);
            }
            id = XlCallV(xlfRegister, static_cast<int>(pointers.size()), pointers.data());
        }
        if (!id.IsNumeric()) {
            const xloper message("Could not register " + narrow(function_text_));
            const xloper style(2.0);
            call_host(xlcAlert, message, style);
        }
    });
}

int Proc::unregister() const {
    return run_action([this] {
        const xloper function(function_text_);
        const xloper id = call_host(xlfEvaluate, function);
        call_host(xlfUnregister, id);
    });
}

std::vector<AutoAction>& auto_actions(AutoKind kind) {
    static std::map<AutoKind, std::vector<AutoAction>> table;
    return table[kind];
}

namespace {

struct Filed {
    int place;
    Proc proc;
};

std::vector<Filed>& filed() {
    static std::vector<Filed> items;
    return items;
}

}  // namespace

Addin::Addin(int place, Proc proc) {
    filed().push_back(Filed{place, std::move(proc)});
}

std::vector<const Proc*> Addin::items() {
    std::vector<const Filed*> sorted;
    for (const Filed& f : filed()) sorted.push_back(&f);
    std::sort(sorted.begin(), sorted.end(),
              [](const Filed* a, const Filed* b) { return a->place < b->place; });
    std::vector<const Proc*> records;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (i > 0 && sorted[i - 1]->place == sorted[i]->place) {
            throw std::logic_error("xll::Addin: " + narrow(sorted[i - 1]->proc.function_text()) +
                                   " and " + narrow(sorted[i]->proc.function_text()) +
                                   " share the place " + std::to_string(sorted[i]->place));
        }
        records.push_back(&sorted[i]->proc);
    }
    return records;
}

int Addin::RunAutoMacros(AutoKind kind, const char* caption) noexcept {
    try {
        const auto run = [](const AutoAction& macro) {
            XLL_ENSURE("xll::Addin::RunAutoMacros", macro());
        };
        if (kind == AutoKind::Open) {
            for (const Proc* p : items()) run([p] { return p->Register(); });
        }
        for (const AutoAction& macro : auto_actions(kind)) run(macro);
        if (kind == AutoKind::Close) {
            for (const Proc* p : items()) run([p] { return p->unregister(); });
        }
        return 1;
    } catch (const std::exception& e) {
        platform::message_box(e.what(), caption, platform::BoxIcon::none);
    } catch (...) {
        platform::message_box("Unknown exception", caption, platform::BoxIcon::none);
    }
    return 0;
}

}  // namespace xll
