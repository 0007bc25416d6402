#include "workbook/plan.hpp"

#include <algorithm>
#include <memory>
#include <optional>
#include <queue>
#include <unordered_map>

namespace standin::workbook {

namespace {

struct Reject {
    std::size_t offset;
    std::string message;
};

class Planner {
  public:
    Planner(const Workbook& book, const FunctionLookup& lookup) : book_(book), lookup_(lookup) {}

    Plan plan() {
        for (std::size_t s = 0; s < book_.sheets.size(); ++s) {
            for (const Formula& f : book_.sheets[s].formulas) {
                classify(static_cast<int>(s), f);
            }
        }
        plan_.index(book_.sheets.size());
        order();
        find_stale();
        return std::move(plan_);
    }

  private:
    struct Other {
        int sheet;
        const Formula* formula;
        std::vector<Token> tokens;
    };

    void classify(int sheet, const Formula& f) {
        Node call;
        Unreadable why;
        if (read_call(f.text, call, why)) {
            try {
                std::uint64_t cells = 0;
                if (resolve(sheet, call, true, cells)) {
                    plan_.steps.push_back(Step{sheet, &f, std::move(call)});
                    return;
                }
            } catch (const Reject& r) {
                plan_.problems.push_back(Problem{sheet, &f, r.offset, r.message});
                return;
            }
        }
        // A formula of another form: the tokens up to a fault tell whether it calls the add-in
        // and what it references.
        std::vector<Token> tokens;
        try {
            tokens = tokenize(f.text);
        } catch (const FormulaError& e) {
            try {
                tokens = tokenize(std::string_view(f.text).substr(0, e.offset()));
            } catch (const std::exception&) {
            }
        } catch (const std::exception&) {
        }
        for (const Token& t : tokens) {
            if (t.kind == Token::Kind::function && lookup_(t.text) != nullptr) {
                plan_.problems.push_back(Problem{sheet, &f, why.offset, why.message});
                return;
            }
        }
        others_.push_back(Other{sheet, &f, std::move(tokens)});
    }

    // Resolves a call read whole: true when it calls the add-in, false for a formula that
    // calls none of its functions. Throws Reject for a QVL formula that cannot be evaluated.
    // cells counts what the formula's references hold, which bounds what one formula passes.
    bool resolve(int sheet, Node& call, bool top, std::uint64_t& cells) {
        const Registration* reg = lookup_(call.text);
        if (reg == nullptr) {
            if (top && !calls_addin(call)) {
                return false;
            }
            throw Reject{call.offset, call.text + " is not a function of the add-in"};
        }
        call.text = reg->function_text;
        if (call.args.size() > reg->argument_codes.size()) {
            const std::size_t takes = reg->argument_codes.size();
            throw Reject{call.args[takes].offset, reg->function_text + " takes " +
                                                      std::to_string(takes) +
                                                      (takes == 1 ? " argument" : " arguments")};
        }
        for (Node& arg : call.args) {
            if (arg.kind == Node::Kind::call) {
                resolve(sheet, arg, false, cells);
            } else if (arg.kind == Node::Kind::reference || arg.kind == Node::Kind::name) {
                cells += resolve_reference(sheet, arg).cells();
                if (cells > most_formula_cells) {
                    throw Reject{arg.offset,
                                 "the ranges of this formula hold more than 1,048,576 cells"};
                }
            }
        }
        return true;
    }

    bool calls_addin(const Node& call) const {
        return std::any_of(call.args.begin(), call.args.end(), [&](const Node& a) {
            return a.kind == Node::Kind::call && (lookup_(a.text) != nullptr || calls_addin(a));
        });
    }

    // Turns a reference or a defined name into a reference on a known sheet.
    Area resolve_reference(int sheet, Node& node) {
        int on = sheet;
        if (!node.reference.sheet.empty()) {
            on = book_.find_sheet(node.reference.sheet);
            if (on < 0) {
                throw Reject{node.offset, "no sheet is named " + node.reference.sheet};
            }
        }
        if (node.kind == Node::Kind::name) {
            const DefinedName* name = book_.find_name(node.text, on);
            if (name == nullptr) {
                throw Reject{node.offset, "no defined name " + node.text};
            }
            if (!name->area) {
                throw Reject{node.offset, "the name " + node.text + " (" + name->text +
                                              ") names no cell or rectangle"};
            }
            const Area& a = *name->area;
            node.kind = Node::Kind::reference;
            on = a.sheet;
            node.reference.first_row = a.first_row;
            node.reference.first_column = a.first_column;
            node.reference.last_row = a.last_row;
            node.reference.last_column = a.last_column;
        }
        node.sheet = on;
        return area_of(node);
    }

    static Area area_of(const Node& n) {
        return Area{n.sheet, n.reference.first_row, n.reference.first_column, n.reference.last_row,
                    n.reference.last_column};
    }

    void collect(const Node& call, std::vector<int>& needs) const {
        for (const Node& arg : call.args) {
            if (arg.kind == Node::Kind::call) {
                collect(arg, needs);
            } else if (arg.kind == Node::Kind::reference) {
                plan_.owners(area_of(arg), [&](int step) { needs.push_back(step); });
            }
        }
    }

    // Evaluation order: each step after the steps it needs, otherwise in sheet order (tab,
    // then row, then column), so a workbook without dependencies runs top to bottom.
    void order() {
        const std::size_t n = plan_.steps.size();
        std::vector<std::vector<int>> needs(n);
        std::vector<std::vector<int>> needed_by(n);
        std::vector<std::size_t> waiting(n);
        for (std::size_t i = 0; i < n; ++i) {
            collect(plan_.steps[i].call, needs[i]);
            std::sort(needs[i].begin(), needs[i].end());
            needs[i].erase(std::unique(needs[i].begin(), needs[i].end()), needs[i].end());
            waiting[i] = needs[i].size();
            for (const int j : needs[i]) {
                needed_by[static_cast<std::size_t>(j)].push_back(static_cast<int>(i));
            }
        }
        std::priority_queue<int, std::vector<int>, std::greater<>> ready;
        for (std::size_t i = 0; i < n; ++i) {
            if (waiting[i] == 0) {
                ready.push(static_cast<int>(i));
            }
        }
        std::vector<int> order;
        order.reserve(n);
        while (!ready.empty()) {
            const int i = ready.top();
            ready.pop();
            order.push_back(i);
            for (const int j : needed_by[static_cast<std::size_t>(i)]) {
                if (--waiting[static_cast<std::size_t>(j)] == 0) {
                    ready.push(j);
                }
            }
        }
        if (order.size() < n) {
            circular(needs, waiting);
        }
        std::vector<Step> ordered;
        ordered.reserve(n);
        for (const int i : order) {
            ordered.push_back(std::move(plan_.steps[static_cast<std::size_t>(i)]));
        }
        plan_.steps = std::move(ordered);
        plan_.index(book_.sheets.size());
    }

    // Every step left waiting needs another one left waiting: following those from the first
    // comes back to a step already passed, and the way from it is the cycle.
    [[noreturn]] void circular(const std::vector<std::vector<int>>& needs,
                               const std::vector<std::size_t>& waiting) const {
        std::size_t at = 0;
        while (waiting[at] == 0) {
            ++at;
        }
        std::vector<std::size_t> path;
        std::vector<int> seen(needs.size(), -1);
        while (seen[at] < 0) {
            seen[at] = static_cast<int>(path.size());
            path.push_back(at);
            for (const int j : needs[at]) {
                if (waiting[static_cast<std::size_t>(j)] > 0) {
                    at = static_cast<std::size_t>(j);
                    break;
                }
            }
        }
        std::string message = "circular reference: ";
        for (std::size_t k = static_cast<std::size_t>(seen[at]); k < path.size(); ++k) {
            message += area_text(book_, plan_.steps[path[k]].range()) + " -> ";
        }
        throw CircularReference(message + area_text(book_, plan_.steps[at].range()));
    }

    void find_stale() {
        for (const Other& o : others_) {
            Stale stale{o.sheet, o.formula, {}};
            for (const Token& t : o.tokens) {
                std::optional<Area> area;
                std::string shown;
                int on = o.sheet;
                if (!t.reference.sheet.empty()) {
                    on = book_.find_sheet(t.reference.sheet);
                }
                if (on < 0) {
                    continue;
                }
                if (t.kind == Token::Kind::reference) {
                    const Reference& r = t.reference;
                    area = Area{on, r.first_row, r.first_column, r.last_row, r.last_column};
                    Reference qualified = r;
                    qualified.sheet = book_.sheets[static_cast<std::size_t>(on)].name;
                    shown = reference_text(qualified);
                } else if (t.kind == Token::Kind::name) {
                    const DefinedName* name = book_.find_name(t.text, on);
                    if (name != nullptr && name->area) {
                        area = name->area;
                        shown = t.text;
                    }
                }
                bool reaches = false;
                if (area) {
                    plan_.owners(*area, [&](int) { reaches = true; });
                }
                if (reaches && std::find(stale.depends_on.begin(), stale.depends_on.end(), shown) ==
                                   stale.depends_on.end()) {
                    stale.depends_on.push_back(shown);
                }
            }
            if (!stale.depends_on.empty()) {
                plan_.stale.push_back(std::move(stale));
            }
        }
    }

    const Workbook& book_;
    const FunctionLookup& lookup_;
    Plan plan_;
    std::vector<Other> others_;
};

}  // namespace

void Plan::index(std::size_t sheet_count) {
    owned_.assign(sheet_count, {});
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Area r = steps[i].range();
        auto& owned = owned_[static_cast<std::size_t>(r.sheet)];
        for (std::int32_t row = r.first_row; row <= r.last_row; ++row) {
            for (std::int32_t column = r.first_column; column <= r.last_column; ++column) {
                owned.push_back(Owned{cell_key(row, column), static_cast<int>(i)});
            }
        }
    }
    for (auto& owned : owned_) {
        std::stable_sort(owned.begin(), owned.end(),
                         [](const Owned& a, const Owned& b) { return a.key < b.key; });
    }
}

int Plan::owner(int sheet, std::int32_t row, std::int32_t column) const {
    if (sheet < 0 || sheet >= static_cast<int>(owned_.size())) {
        return -1;
    }
    const auto& owned = owned_[static_cast<std::size_t>(sheet)];
    const std::uint64_t key = cell_key(row, column);
    const auto it = std::lower_bound(owned.begin(), owned.end(), key,
                                     [](const Owned& o, std::uint64_t k) { return o.key < k; });
    return it != owned.end() && it->key == key ? it->step : -1;
}

FunctionLookup registered_functions(const Host& host) {
    const auto lower = [](std::string_view s) {
        std::string out(s);
        for (char& c : out) {
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c;
        }
        return out;
    };
    auto by_name = std::make_shared<std::unordered_map<std::string, const Registration*>>();
    for (const Registration& reg : host.registrations()) {
        if (reg.macro_type == xl_macro_function) {
            by_name->emplace(lower(reg.function_text), &reg);
        }
    }
    return [by_name, lower](std::string_view name) -> const Registration* {
        std::string key = lower(name);
        if (key.rfind("_xll.", 0) == 0) {
            key.erase(0, 5);
        }
        const auto it = by_name->find(key);
        return it == by_name->end() ? nullptr : it->second;
    };
}

Plan plan_recalculation(const Workbook& book, const FunctionLookup& lookup) {
    return Planner(book, lookup).plan();
}

std::string area_text(const Workbook& book, const Area& area) {
    Reference r;
    r.form = area.cells() == 1 ? Reference::Form::cell : Reference::Form::area;
    r.sheet = book.sheets[static_cast<std::size_t>(area.sheet)].name;
    r.first_row = area.first_row;
    r.first_column = area.first_column;
    r.last_row = area.last_row;
    r.last_column = area.last_column;
    return reference_text(r);
}

}  // namespace standin::workbook
