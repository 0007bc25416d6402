#include "host/host.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "excel/utf.hpp"
#include "host/invoke.hpp"

namespace standin {

namespace {

Host* current = nullptr;

constexpr std::size_t longest_register_text = 255;
constexpr std::size_t longest_string = 32767;
constexpr std::uint32_t ownership_bits = xlbitXLFree | xlbitDLLFree;
// Half a millisecond, in days: a command scheduled for "now" is due now.
constexpr double clock_tolerance = 0.0005 / 86400.0;

std::uint32_t type_of(const XLOPER12& x) {
    return x.xltype & ~ownership_bits;
}

bool is_text(const XLOPER12* x) {
    return x && type_of(*x) == xltypeStr && x->val.str;
}

bool is_absent(const XLOPER12* x) {
    return x == nullptr || type_of(*x) == xltypeNil || type_of(*x) == xltypeMissing;
}

std::string text_of(const XLOPER12* x) {
    return is_text(x) ? qvl::text::utf16_to_utf8(std::u16string_view(x->val.str + 1, x->val.str[0]))
                      : std::string();
}

std::size_t length_of(const XLOPER12* x) {
    return is_text(x) ? x->val.str[0] : 0;
}

std::optional<double> number_of(const XLOPER12* x) {
    if (x == nullptr) {
        return std::nullopt;
    }
    switch (type_of(*x)) {
        case xltypeNum:
            return x->val.num;
        case xltypeInt:
            return x->val.w;
        case xltypeBool:
            return x->val.xbool ? 1.0 : 0.0;
        default:
            return std::nullopt;
    }
}

// Nil, missing, numbers, booleans and errors; other kinds come out nil.
XLOPER12 scalar_of(const Value& v) {
    XLOPER12 x{};
    x.xltype = xltypeNil;
    switch (v.kind()) {
        case Value::Kind::missing:
            x.xltype = xltypeMissing;
            break;
        case Value::Kind::number:
            x.xltype = xltypeNum;
            x.val.num = v.number();
            break;
        case Value::Kind::boolean:
            x.xltype = xltypeBool;
            x.val.xbool = v.boolean() ? 1 : 0;
            break;
        case Value::Kind::error:
            x.xltype = xltypeErr;
            x.val.err = v.error_code();
            break;
        default:
            break;
    }
    return x;
}

std::size_t count_names(const std::string& argument_text) {
    if (argument_text.empty()) {
        return 0;
    }
    return static_cast<std::size_t>(std::count(argument_text.begin(), argument_text.end(), ',')) +
           1;
}

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

// Results the add-in hands over: copied deeply, checked as a host would.
Value Host::copy_result(const XLOPER12* r, bool inside_grid) {
    switch (type_of(*r)) {
        case xltypeNum:
            return Value(r->val.num);
        case xltypeInt:
            return Value(r->val.w);
        case xltypeBool:
            return Value::boolean(r->val.xbool != 0);
        case xltypeErr:
            return Value::error(r->val.err);
        case xltypeNil:
            return Value();
        case xltypeMissing:
            return Value::missing();
        case xltypeStr: {
            if (r->val.str == nullptr) {
                fault("string result without a buffer");
                return Value::error(xlerrValue);
            }
            const std::size_t n = r->val.str[0];
            if (n > longest_string) {
                fault("string result longer than 32767 characters");
            }
            return Value::text16(std::u16string(r->val.str + 1, n));
        }
        case xltypeMulti: {
            if (inside_grid) {
                fault("grid inside a grid");
                return Value::error(xlerrValue);
            }
            const int rows = r->val.array.rows;
            const int columns = r->val.array.columns;
            if (rows < 1 || columns < 1 || r->val.array.lparray == nullptr) {
                fault("grid result without cells");
                return Value::error(xlerrValue);
            }
            std::vector<Value> cells;
            const std::size_t n =
                static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
            cells.reserve(n);
            for (std::size_t i = 0; i < n; ++i) {
                cells.push_back(copy_result(r->val.array.lparray + i, true));
            }
            return Value::grid(rows, columns, std::move(cells));
        }
        default:
            fault("result of a type the stand-in host does not show: " + std::to_string(r->xltype));
            return Value::error(xlerrValue);
    }
}

XLOPER12* Host::Arguments::add(const Value& v) {
    slots_.push_back(make(v, false));
    return &slots_.back();
}

void Host::Arguments::clear() {
    slots_.clear();
    strings_.clear();
    grids_.clear();
}

XLOPER12 Host::Arguments::make(const Value& v, bool inside_grid) {
    XLOPER12 x = scalar_of(v);
    switch (v.kind()) {
        case Value::Kind::missing:
            // An empty cell of a range arrives as nil.
            x.xltype = inside_grid ? xltypeNil : xltypeMissing;
            break;
        case Value::Kind::text: {
            const std::u16string& t = v.text16();
            if (t.size() > longest_string) {
                throw std::invalid_argument("a cell holds at most 32767 characters");
            }
            auto buffer = std::make_unique<XCHAR[]>(t.size() + 2);
            buffer[0] = static_cast<XCHAR>(t.size());
            std::copy(t.begin(), t.end(), buffer.get() + 1);
            x.xltype = xltypeStr;
            x.val.str = buffer.get();
            strings_.push_back(std::move(buffer));
            break;
        }
        case Value::Kind::grid: {
            if (inside_grid) {
                throw std::invalid_argument("a cell cannot hold a grid");
            }
            const Grid& g = v.grid();
            auto cells = std::make_unique<XLOPER12[]>(g.cells.size());
            for (std::size_t i = 0; i < g.cells.size(); ++i) {
                cells[i] = make(g.cells[i], true);
            }
            x.xltype = xltypeMulti;
            x.val.array.lparray = cells.get();
            x.val.array.rows = g.rows;
            x.val.array.columns = g.columns;
            grids_.push_back(std::move(cells));
            break;
        }
        default:
            break;
    }
    return x;
}

// Values the host gives the add-in live in malloc'ed blocks that the add-in returns with xlFree.
XLOPER12 Host::give_value(const Value& v) {
    XLOPER12 x = scalar_of(v);
    if (v.kind() == Value::Kind::text) {
        const std::u16string& t = v.text16();
        auto* buffer = static_cast<XCHAR*>(std::malloc((t.size() + 2) * sizeof(XCHAR)));
        if (buffer == nullptr) {
            throw std::bad_alloc();
        }
        buffer[0] = static_cast<XCHAR>(t.size());
        std::copy(t.begin(), t.end(), buffer + 1);
        buffer[t.size() + 1] = 0;
        handed_out_.insert(buffer);
        x.xltype = xltypeStr;
        x.val.str = buffer;
    } else if (v.kind() == Value::Kind::grid) {
        const Grid& g = v.grid();
        auto* cells = static_cast<XLOPER12*>(std::malloc(g.cells.size() * sizeof(XLOPER12)));
        if (cells == nullptr) {
            throw std::bad_alloc();
        }
        handed_out_.insert(cells);
        for (std::size_t i = 0; i < g.cells.size(); ++i) {
            cells[i] = give_value(g.cells[i]);
        }
        x.xltype = xltypeMulti;
        x.val.array.lparray = cells;
        x.val.array.rows = g.rows;
        x.val.array.columns = g.columns;
    }
    return x;
}

void Host::give(const Value& v, XLOPER12* result) {
    if (result != nullptr) {
        *result = give_value(v);
    }
}

void Host::take_back(XLOPER12* x) {
    const auto release = [this](void* p) {
        if (handed_out_.erase(p) == 1) {
            std::free(p);
        } else {
            fault("xlFree of memory the host did not hand out");
        }
    };
    switch (type_of(*x)) {
        case xltypeStr:
            release(x->val.str);
            break;
        case xltypeMulti: {
            const std::size_t n = static_cast<std::size_t>(x->val.array.rows) *
                                  static_cast<std::size_t>(x->val.array.columns);
            if (handed_out_.count(x->val.array.lparray) == 1) {
                for (std::size_t i = 0; i < n; ++i) {
                    take_back(x->val.array.lparray + i);
                }
            }
            release(x->val.array.lparray);
            break;
        }
        default:
            break;
    }
}

int Host::dispatch(int xlfn, int count, XLOPER12** args, XLOPER12* result) {
    if (count < 0 || (count > 0 && args == nullptr)) {
        return xlret_invalid_count;
    }
    for (int i = 0; i < count; ++i) {
        if (args[i] == nullptr) {
            return xlret_invalid_value;
        }
    }
    auto injected = injected_.find(xlfn);
    if (injected != injected_.end() && !injected->second.empty()) {
        const Injected answer = injected->second.front();
        injected->second.pop_front();
        give(answer.result, result);
        return answer.return_code;
    }
    switch (xlfn) {
        case xlFree:
            return do_free(count, args);
        case xlGetName:
            give(Value(path_), result);
            return xlret_success;
        case xlfNow:
            give(Value(now_), result);
            return xlret_success;
        case xlfRegister:
            return do_register(count, args, result);
        case xlfEvaluate:
            return do_evaluate(count, args, result);
        case xlfUnregister:
            return do_unregister(count, args, result);
        case xlcMessage:
            return do_message(count, args, result);
        case xlcOnTime:
            return do_on_time(count, args, result);
        case xlcAlert:
            return do_alert(count, args, result);
        default:
            return xlret_invalid_function;
    }
}

int Host::do_free(int count, XLOPER12** args) {
    for (int i = 0; i < count; ++i) {
        if (args[i] != nullptr) {
            take_back(args[i]);
        }
    }
    return xlret_success;
}

// Arguments by position: module, procedure, type text, function text, argument text, macro
// type, category, shortcut, help topic, function help, one help text per argument.
int Host::do_register(int count, XLOPER12** args, XLOPER12* result) {
    if (count < 4) {
        return xlret_invalid_count;
    }
    const auto arg = [&](int i) -> const XLOPER12* { return i < count ? args[i] : nullptr; };
    const auto refuse = [&](const std::string& why) {
        fault("registration refused: " + why);
        give(Value::error(xlerrValue), result);
        return xlret_success;
    };
    for (int i = 0; i < count; ++i) {
        if (length_of(arg(i)) > longest_register_text) {
            return refuse("argument " + std::to_string(i + 1) + " longer than 255 characters");
        }
        if (!is_absent(arg(i)) && !is_text(arg(i)) && i != 5) {
            return refuse("argument " + std::to_string(i + 1) + " is not a text");
        }
    }
    Registration reg;
    reg.module = text_of(arg(0));
    reg.procedure = text_of(arg(1));
    reg.type_text = text_of(arg(2));
    reg.function_text = text_of(arg(3));
    reg.argument_text = text_of(arg(4));
    if (!is_absent(arg(5))) {
        const auto macro = number_of(arg(5));
        if (!macro || (*macro != 1 && *macro != 2)) {
            return refuse(reg.function_text + ": macro type must be 1 or 2");
        }
        reg.macro_type = static_cast<int>(*macro);
    }
    reg.category = text_of(arg(6));
    reg.shortcut = text_of(arg(7));
    reg.help_topic = text_of(arg(8));
    reg.function_help = text_of(arg(9));
    for (int i = 10; i < count; ++i) {
        reg.argument_help.push_back(text_of(arg(i)));
    }
    if (rejected_.count(reg.function_text) == 1) {
        give(Value::error(xlerrValue), result);
        return xlret_success;
    }
    if (reg.module != path_) {
        return refuse(reg.function_text + ": module is not the loaded add-in: " + reg.module);
    }
    if (reg.function_text.empty() || reg.type_text.empty()) {
        return refuse("registration without function text or type text");
    }
    reg.return_code = reg.type_text[0];
    for (char c : reg.type_text.substr(1)) {
        if (c == '!') {
            reg.is_volatile = true;
        } else if (c == 'Q' || c == 'U' || c == 'B') {
            reg.argument_codes += c;
        } else {
            return refuse(reg.function_text + ": argument code '" + c + "' unknown here");
        }
    }
    if (reg.argument_codes.size() > max_arguments) {
        return refuse(reg.function_text + ": more arguments than the stand-in host passes");
    }
    if (reg.macro_type == xl_macro_command) {
        if (reg.return_code != 'A' || !reg.argument_codes.empty()) {
            return refuse(reg.function_text + ": a command has type text \"A\"");
        }
    } else if (reg.return_code != 'U' && reg.return_code != 'Q' && reg.return_code != 'B') {
        return refuse(reg.function_text + ": return code '" + reg.return_code + "' unknown here");
    }
    if (count_names(reg.argument_text) != reg.argument_codes.size()) {
        return refuse(reg.function_text + ": argument text names " +
                      std::to_string(count_names(reg.argument_text)) + " arguments, type text " +
                      std::to_string(reg.argument_codes.size()));
    }
    if (reg.argument_help.size() > reg.argument_codes.size()) {
        return refuse(reg.function_text + ": more argument help texts than arguments");
    }
    reg.entry = library_ ? library_->symbol(reg.procedure) : nullptr;
    if (reg.entry == nullptr) {
        return refuse(reg.function_text + ": no export named " + reg.procedure);
    }
    const auto it = by_text_.find(reg.function_text);
    if (it != by_text_.end()) {
        reg.id = registrations_[it->second].id;
        registrations_[it->second] = reg;
    } else {
        reg.id = next_id_++;
        by_text_[reg.function_text] = registrations_.size();
        registrations_.push_back(reg);
    }
    give(Value(reg.id), result);
    return xlret_success;
}

int Host::do_evaluate(int count, XLOPER12** args, XLOPER12* result) {
    if (count != 1) {
        return xlret_invalid_count;
    }
    if (!is_text(args[0])) {
        give(Value::error(xlerrValue), result);
        return xlret_success;
    }
    std::string text = text_of(args[0]);
    if (!text.empty() && text[0] == '=') {
        text.erase(0, 1);
    }
    const Registration* reg = find(text);
    give(reg ? Value(reg->id) : Value::error(xlerrName), result);
    return xlret_success;
}

int Host::do_unregister(int count, XLOPER12** args, XLOPER12* result) {
    if (count != 1) {
        return xlret_invalid_count;
    }
    const auto id = number_of(args[0]);
    const auto it = std::find_if(registrations_.begin(), registrations_.end(),
                                 [&](const Registration& r) { return id && r.id == *id; });
    if (it == registrations_.end()) {
        give(Value::error(xlerrValue), result);
        return xlret_success;
    }
    registrations_.erase(it);
    reindex();
    give(Value::boolean(true), result);
    return xlret_success;
}

int Host::do_message(int count, XLOPER12** args, XLOPER12* result) {
    if (count < 1 || count > 2) {
        return xlret_invalid_count;
    }
    if (type_of(*args[0]) != xltypeBool) {
        return xlret_invalid_value;
    }
    if (args[0]->val.xbool) {
        if (count != 2 || !is_text(args[1])) {
            return xlret_invalid_value;
        }
        status_ = text_of(args[1]);
    } else {
        status_.reset();
    }
    give(Value::boolean(true), result);
    return xlret_success;
}

int Host::do_on_time(int count, XLOPER12** args, XLOPER12* result) {
    if (count < 2 || count > 4) {
        return xlret_invalid_count;
    }
    const auto when = number_of(args[0]);
    if (!when || type_of(*args[0]) == xltypeBool || !is_text(args[1])) {
        return xlret_invalid_value;
    }
    const std::string command = text_of(args[1]);
    const bool insert = count < 4 || is_absent(args[3]) || number_of(args[3]).value_or(1) != 0;
    if (insert) {
        scheduled_.push_back(Scheduled{*when, command});
        give(Value::boolean(true), result);
        return xlret_success;
    }
    const auto it = std::find_if(scheduled_.begin(), scheduled_.end(), [&](const Scheduled& s) {
        return s.command == command && std::fabs(s.when - *when) <= clock_tolerance;
    });
    if (it == scheduled_.end()) {
        give(Value::error(xlerrValue), result);
        return xlret_success;
    }
    scheduled_.erase(it);
    give(Value::boolean(true), result);
    return xlret_success;
}

int Host::do_alert(int count, XLOPER12** args, XLOPER12* result) {
    if (count < 1 || count > 3) {
        return xlret_invalid_count;
    }
    if (!is_text(args[0])) {
        return xlret_invalid_value;
    }
    alerts_.push_back(text_of(args[0]));
    give(Value::boolean(true), result);
    return xlret_success;
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
