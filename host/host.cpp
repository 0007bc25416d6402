#include "host/host.hpp"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>

#include "host/invoke.hpp"
#include "host_internal.hpp"

namespace standin {

namespace {

Host* current = nullptr;

}  // namespace

Host::Host() {
    if (current != nullptr) {
        throw std::logic_error("only one stand-in host at a time");
    }
    current = this;
}

Host::~Host() {
    try {
        unload();
    } catch (...) {
    }
    // Whatever the add-in never gave back is released here, so that leaks show as a count in
    // outstanding() and not as sanitizer noise.
    for (void* p : handed_out_) {
        std::free(p);
    }
    current = nullptr;
}

void Host::load(const std::string& path) {
    unload();
    library_ = std::make_unique<Library>(path);
    path_ = path;
}

void Host::unload() {
    if (!library_) {
        return;
    }
    if (open_) {
        close();
    }
    registrations_.clear();
    by_text_.clear();
    scheduled_.clear();
    library_.reset();
    path_.clear();
}

int Host::entry(const char* name) {
    if (!library_) {
        throw std::logic_error("no add-in loaded");
    }
    auto* fn = reinterpret_cast<int (*)()>(library_->symbol(name));
    return fn ? fn() : 0;
}

int Host::open() {
    const int result = entry("xlAutoOpen");
    open_ = true;
    return result;
}

int Host::close() {
    open_ = false;
    return entry("xlAutoClose");
}

int Host::add() {
    return entry("xlAutoAdd");
}

int Host::remove() {
    return entry("xlAutoRemove");
}

Value Host::auto_register(const Value& name) {
    if (!library_) {
        throw std::logic_error("no add-in loaded");
    }
    auto* fn = reinterpret_cast<XLOPER12* (*)(XLOPER12*)>(library_->symbol("xlAutoRegister12"));
    if (fn == nullptr) {
        return Value::error(xlerrValue);
    }
    XLOPER12* arg = arguments_.add(name);
    Value v = copy_result(fn(arg), false);
    arguments_.clear();
    return v;
}

const Registration* Host::find(std::string_view function_text) const {
    const auto it = by_text_.find(function_text);
    return it == by_text_.end() ? nullptr : &registrations_[it->second];
}

void Host::reindex() {
    by_text_.clear();
    for (std::size_t i = 0; i < registrations_.size(); ++i) {
        by_text_[registrations_[i].function_text] = i;
    }
}

void Host::fault(std::string what) {
    faults_.push_back(std::move(what));
}

Value Host::call(std::string_view function_text, std::span<const Value> args) {
    const Registration* reg = find(function_text);
    if (reg == nullptr || reg->macro_type != xl_macro_function) {
        throw std::invalid_argument("no worksheet function " + std::string(function_text));
    }
    const std::string& codes = reg->argument_codes;
    if (args.size() > codes.size()) {
        throw std::invalid_argument("too many arguments for " + std::string(function_text));
    }
    Slot slots[max_arguments];
    struct Clear {
        Arguments& a;
        ~Clear() { a.clear(); }
    } clear{arguments_};
    for (std::size_t i = 0; i < codes.size(); ++i) {
        static const Value omitted = Value::missing();
        const Value& v = i < args.size() ? args[i] : omitted;
        if (codes[i] != 'B') {
            slots[i].p = arguments_.add(v);
            continue;
        }
        switch (v.kind()) {
            case Value::Kind::number:
                slots[i].d = v.number();
                break;
            case Value::Kind::boolean:
                slots[i].d = v.boolean() ? 1 : 0;
                break;
            case Value::Kind::nil:
            case Value::Kind::missing:
                slots[i].d = 0;
                break;
            case Value::Kind::text: {
                const std::string t = v.text();
                char* end = nullptr;
                slots[i].d = std::strtod(t.c_str(), &end);
                if (t.empty() || *end != '\0') {
                    return Value::error(xlerrValue);
                }
                break;
            }
            case Value::Kind::error:
                return v;
            case Value::Kind::grid:
                return Value::error(xlerrValue);
        }
    }
    if (reg->return_code == 'B') {
        return Value(invoke_double(reg->entry, codes.c_str(), slots));
    }
    XLOPER12* r = invoke_xloper(reg->entry, codes.c_str(), slots);
    if (r == nullptr) {
        fault(reg->function_text + " returned NULL");
        return Value::error(xlerrValue);
    }
    if (r->xltype & xlbitXLFree) {
        fault(reg->function_text + " returned a value marked xlbitXLFree");
    }
    Value v = copy_result(r, false);
    if (r->xltype & xlbitDLLFree) {
        auto* release = reinterpret_cast<void (*)(XLOPER12*)>(library_->symbol("xlAutoFree12"));
        if (release) {
            release(r);
        } else {
            fault("value marked xlbitDLLFree without xlAutoFree12");
        }
    }
    return v;
}

Value Host::call_from(const Cell& cell, std::string_view function_text,
                      std::span<const Value> args) {
    struct Restore {
        Host& host;
        std::optional<Cell> previous;
        ~Restore() { host.caller_ = std::move(previous); }
    } restore{*this, std::exchange(caller_, cell)};
    return call(function_text, args);
}

int Host::run_command(std::string_view command_text) {
    const Registration* reg = find(command_text);
    if (reg == nullptr || reg->macro_type != xl_macro_command) {
        throw std::invalid_argument("no command " + std::string(command_text));
    }
    return reinterpret_cast<int (*)()>(reg->entry)();
}

int Host::run_export(const std::string& symbol) {
    if (!library_) {
        throw std::logic_error("no add-in loaded");
    }
    auto* fn = reinterpret_cast<int (*)()>(library_->symbol(symbol));
    if (fn == nullptr) {
        throw std::invalid_argument("no export " + symbol);
    }
    return fn();
}

void Host::advance(double seconds) {
    now_ += seconds / 86400.0;
    for (;;) {
        auto due = std::min_element(
            scheduled_.begin(), scheduled_.end(),
            [](const Scheduled& a, const Scheduled& b) { return a.when < b.when; });
        if (due == scheduled_.end() || due->when > now_ + clock_tolerance) {
            return;
        }
        const std::string command = due->command;
        scheduled_.erase(due);
        if (find(command) == nullptr) {
            fault("scheduled command not registered: " + command);
            continue;
        }
        run_command(command);
    }
}

void Host::inject(int xlfn, int return_code, Value result) {
    injected_[xlfn].push_back(Injected{return_code, std::move(result)});
}

void Host::reject_registration(std::string function_text) {
    rejected_.insert(std::move(function_text));
}

}  // namespace standin

extern "C" int MdCallBack12(int xlfn, int coper, XLOPER12** rgpxloper12, XLOPER12* result) {
    if (standin::current == nullptr) {
        return xlret_failed;
    }
    try {
        return standin::current->dispatch(xlfn, coper, rgpxloper12, result);
    } catch (...) {
        return xlret_failed;
    }
}
