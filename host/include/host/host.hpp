#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "host/loader.hpp"
#include "host/value.hpp"
#include "xll/host_api.hpp"

// The host's callback, exported from the main program of every executable that links this
// library; it answers for the one Host alive at the time.
#if defined(_WIN32)
#define STANDIN_HOST_EXPORT __declspec(dllexport)
#else
#define STANDIN_HOST_EXPORT __attribute__((visibility("default")))
#endif
extern "C" STANDIN_HOST_EXPORT int MdCallBack12(int xlfn, int coper, XLOPER12** rgpxloper12,
                                                XLOPER12* result);

namespace standin {

// One accepted registration, as the add-in described it.
struct Registration {
    double id = 0;
    std::string module;
    std::string procedure;
    std::string type_text;
    std::string function_text;
    std::string argument_text;
    int macro_type = 1;
    std::string category;
    std::string shortcut;
    std::string help_topic;
    std::string function_help;
    std::vector<std::string> argument_help;

    char return_code = 'U';
    std::string argument_codes;  // one code per argument
    bool is_volatile = false;
    void* entry = nullptr;
};

// The cell (or, for an array formula, the range) whose formula calls a worksheet function.
// Rows and columns count from 0, as in the host's references.
struct Cell {
    std::string sheet = "[Book1]Sheet1";
    RW row = 0;
    COL column = 0;
    RW rows = 1;
    COL columns = 1;
    // xlfCaller answers a reference to the current sheet (xltypeSRef) instead of one that
    // names its sheet by id (xltypeRef); a host may answer either.
    bool current_sheet_reference = false;
};

// A command the add-in asked to run later (xlcOnTime).
struct Scheduled {
    double when;  // date serial
    std::string command;
};

// A stand-in spreadsheet host: loads an add-in file, drives its entry points, answers its calls
// back (registration, evaluation, names, time, status bar, timer, alerts, freeing) and calls its
// registered functions the way a host passes cell values. It is strict where a real host is
// strict and records every breach of the add-in protocol in faults(). One Host at a time.
class Host {
  public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Loads the file (throws std::runtime_error when it cannot be loaded).
    void load(const std::string& path);
    // Unloads the add-in (after xlAutoClose if it is still open).
    void unload();
    bool loaded() const { return library_ != nullptr; }
    const std::string& addin_path() const { return path_; }

    // The entry points; 0 when the add-in lacks one.
    int open();
    int close();
    int add();
    int remove();
    Value auto_register(const Value& name);

    // Calls a registered worksheet function by its function text. Arguments left out arrive
    // as omitted arguments. An argument a "B" parameter cannot take (an error, a grid, a text
    // that is no number) gives #VALUE! without calling the add-in, as in a host.
    Value call(std::string_view function_text, std::span<const Value> args = {});
    Value call(std::string_view function_text, std::initializer_list<Value> args) {
        return call(function_text, std::span<const Value>(args.begin(), args.size()));
    }
    // The same call from a cell: xlfCaller answers a reference to it and xlSheetNm its sheet's
    // name. Calls through call() have no cell (xlfCaller answers #REF!) unless set_caller named
    // one.
    Value call_from(const Cell& cell, std::string_view function_text,
                    std::span<const Value> args = {});
    Value call_from(const Cell& cell, std::string_view function_text,
                    std::initializer_list<Value> args) {
        return call_from(cell, function_text, std::span<const Value>(args.begin(), args.size()));
    }
    void set_caller(std::optional<Cell> cell) { caller_ = std::move(cell); }
    const std::optional<Cell>& caller() const { return caller_; }
    // Runs a registered command by its text, or any exported int() by its symbol.
    int run_command(std::string_view command_text);
    int run_export(const std::string& symbol);

    const std::vector<Registration>& registrations() const { return registrations_; }
    const Registration* find(std::string_view function_text) const;

    const std::optional<std::string>& status_bar() const { return status_; }
    const std::vector<std::string>& alerts() const { return alerts_; }
    const std::vector<std::string>& faults() const { return faults_; }
    const std::vector<Scheduled>& scheduled() const { return scheduled_; }

    // The host's clock, a date serial; starts at 2026-01-20 12:00. Advancing runs every
    // scheduled command that falls due, in time order.
    double now() const { return now_; }
    void set_now(double serial) { now_ = serial; }
    void advance(double seconds);

    // The next call of host function xlfn answers with this return code and result.
    void inject(int xlfn, int return_code, Value result = Value());
    // Registrations of this function text are refused (#VALUE!).
    void reject_registration(std::string function_text);

    // Host memory handed to the add-in and not yet given back with xlFree.
    std::size_t outstanding() const { return handed_out_.size(); }

    // The callback's work; public for MdCallBack12 only.
    int dispatch(int xlfn, int count, XLOPER12** args, XLOPER12* result);

  private:
    struct Injected {
        int return_code;
        Value result;
    };
    // Memory for the arguments of one call into the add-in.
    class Arguments {
      public:
        XLOPER12* add(const Value& v);
        void clear();

      private:
        XLOPER12 make(const Value& v, bool inside_grid);
        std::deque<XLOPER12> slots_;
        std::vector<std::unique_ptr<XCHAR[]>> strings_;
        std::vector<std::unique_ptr<XLOPER12[]>> grids_;
    };

    void fault(std::string what);
    Value copy_result(const XLOPER12* r, bool inside_grid);
    void give(const Value& v, XLOPER12* result);
    XLOPER12 give_value(const Value& v);
    void take_back(XLOPER12* x);
    int entry(const char* name);
    void reindex();

    int do_register(int count, XLOPER12** args, XLOPER12* result);
    int do_evaluate(int count, XLOPER12** args, XLOPER12* result);
    int do_unregister(int count, XLOPER12** args, XLOPER12* result);
    int do_message(int count, XLOPER12** args, XLOPER12* result);
    int do_on_time(int count, XLOPER12** args, XLOPER12* result);
    int do_alert(int count, XLOPER12** args, XLOPER12* result);
    int do_free(int count, XLOPER12** args);
    int do_caller(int count, XLOPER12* result);
    int do_sheet_name(int count, XLOPER12** args, XLOPER12* result);
    IDSHEET sheet_id(const std::string& sheet);

    std::unique_ptr<Library> library_;
    std::string path_;
    bool open_ = false;
    std::vector<Registration> registrations_;
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const {
            return std::hash<std::string_view>{}(s);
        }
    };
    std::unordered_map<std::string, std::size_t, TextHash, std::equal_to<>> by_text_;
    double next_id_ = 1001;
    std::optional<std::string> status_;
    std::vector<std::string> alerts_;
    std::vector<std::string> faults_;
    std::vector<Scheduled> scheduled_;
    double now_ = 46042.5;
    std::map<int, std::deque<Injected>> injected_;
    std::unordered_set<std::string> rejected_;
    std::unordered_set<void*> handed_out_;
    Arguments arguments_;
    std::optional<Cell> caller_;
    std::vector<std::string> sheets_;  // sheet id - 1 -> sheet name
};

}  // namespace standin
