// The stand-in host's answers to the add-in's calls back through MdCallBack12: registration,
// evaluation, names, time, status bar, timer, alerts and freeing, each checked as strictly as a
// host checks it.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <string>

#include "host/host.hpp"
#include "host/invoke.hpp"
#include "host_internal.hpp"

namespace standin {

namespace {

constexpr std::size_t longest_register_text = 255;

std::size_t count_names(const std::string& argument_text) {
    if (argument_text.empty()) {
        return 0;
    }
    return static_cast<std::size_t>(std::count(argument_text.begin(), argument_text.end(), ',')) +
           1;
}

}  // namespace

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
        case xlfCaller:
            return do_caller(count, result);
        case xlSheetNm:
            return do_sheet_name(count, args, result);
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

IDSHEET Host::sheet_id(const std::string& sheet) {
    const auto it = std::find(sheets_.begin(), sheets_.end(), sheet);
    if (it != sheets_.end()) {
        return static_cast<IDSHEET>(it - sheets_.begin()) + 1;
    }
    sheets_.push_back(sheet);
    return sheets_.size();
}

// A cell's formula gets a reference to its cell or array range; anything else (no cell) gets
// #REF!, as a host answers a caller it cannot place.
int Host::do_caller(int count, XLOPER12* result) {
    if (count != 0) {
        return xlret_invalid_count;
    }
    if (!caller_) {
        give(Value::error(xlerrRef), result);
        return xlret_success;
    }
    const XLREF12 area{caller_->row, caller_->row + caller_->rows - 1, caller_->column,
                       caller_->column + caller_->columns - 1};
    if (caller_->current_sheet_reference) {
        result->val.sref.count = 1;
        result->val.sref.ref = area;
        result->xltype = xltypeSRef;
        return xlret_success;
    }
    auto* areas = static_cast<XLMREF12*>(std::malloc(sizeof(XLMREF12)));
    if (areas == nullptr) {
        throw std::bad_alloc();
    }
    handed_out_.insert(areas);
    areas->count = 1;
    areas->reftbl[0] = area;
    result->val.mref.lpmref = areas;
    result->val.mref.idSheet = sheet_id(caller_->sheet);
    result->xltype = xltypeRef;
    return xlret_success;
}

// The name of a reference's sheet; a reference without a sheet id means the current sheet, the
// one of the cell being calculated.
int Host::do_sheet_name(int count, XLOPER12** args, XLOPER12* result) {
    if (count != 1) {
        return xlret_invalid_count;
    }
    switch (type_of(*args[0])) {
        case xltypeSRef:
            give(Value(caller_ ? caller_->sheet : Cell().sheet), result);
            return xlret_success;
        case xltypeRef: {
            const IDSHEET id = args[0]->val.mref.idSheet;
            if (id == 0 || id > sheets_.size()) {
                give(Value::error(xlerrRef), result);
                return xlret_success;
            }
            give(Value(sheets_[id - 1]), result);
            return xlret_success;
        }
        default:
            give(Value::error(xlerrValue), result);
            return xlret_invalid_value;
    }
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
