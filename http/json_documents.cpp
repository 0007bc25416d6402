#include "http/json_documents.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace qvl::service {

namespace {

void append_escaped(std::string& out, std::string_view text) {
    // Copies the runs between escaped characters whole: most texts have none.
    std::size_t run = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char* escape;
        switch (text[i]) {
            case '"':
                escape = "\\\"";
                break;
            case '\\':
                escape = "\\\\";
                break;
            case '\n':
                escape = "\\n";
                break;
            case '\r':
                escape = "\\r";
                break;
            case '\t':
                escape = "\\t";
                break;
            default:
                continue;
        }
        out.append(text, run, i - run);
        out += escape;
        run = i + 1;
    }
    out.append(text, run);
}

void append_key(std::string& out, std::string_view key) {
    out += '"';
    append_escaped(out, key);
    out += "\":";
}

// printf's %.10g, independent of the process locale.
void append_number(std::string& out, double number) {
    if (!std::isfinite(number)) {
        out += "null";
        return;
    }
    char buffer[32];
    const auto written =
        std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::general, 10);
    out.append(buffer, written.ptr);
}

void append_unsigned(std::string& out, std::uint64_t n) {
    char buffer[24];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, n);
    out.append(buffer, written.ptr);
}

// Members separated by commas inside one pair of braces.
class ObjectWriter {
  public:
    explicit ObjectWriter(std::string& out) : out_(out) { out_ += '{'; }

    void text(std::string_view key, std::string_view value) {
        next(key);
        out_ += '"';
        append_escaped(out_, value);
        out_ += '"';
    }
    void number(std::string_view key, double value) {
        next(key);
        append_number(out_, value);
    }
    void count(std::string_view key, std::uint64_t value) {
        next(key);
        append_unsigned(out_, value);
    }
    void boolean(std::string_view key, bool value) {
        next(key);
        out_ += value ? "true" : "false";
    }
    void operator()(std::string_view key, double value) { number(key, value); }
    void operator()(std::string_view key, const std::string& value) { text(key, value); }
    // Starts a member whose value the caller writes.
    void next(std::string_view key) {
        if (!first_) out_ += ',';
        first_ = false;
        append_key(out_, key);
    }
    void close() { out_ += '}'; }

  private:
    std::string& out_;
    bool first_ = true;
};

template <class Record>
std::string record_document(const Record& record) {
    std::string out;
    out.reserve(768);
    ObjectWriter writer(out);
    visit_fields(record, writer);
    writer.close();
    return out;
}

}  // namespace

std::string JsonEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    append_escaped(out, text);
    return out;
}

std::string JsonStringMember(std::string_view key, std::string_view value) {
    std::string out;
    append_key(out, key);
    out += '"';
    append_escaped(out, value);
    out += '"';
    return out;
}

std::string JsonNumberMember(std::string_view key, double number) {
    std::string out;
    append_key(out, key);
    append_number(out, number);
    return out;
}

std::string JsonBoolMember(std::string_view key, bool flag) {
    std::string out;
    append_key(out, key);
    out += flag ? "true" : "false";
    return out;
}

std::string JsonErrorDocument(std::string_view message) {
    std::string out = R"({"error":")";
    append_escaped(out, message);
    out += "\"}";
    return out;
}

std::string HealthDocument(const addin::ObjectCache::CountsResult& counts) {
    std::string out;
    ObjectWriter writer(out);
    writer.text("status", "ok");
    writer.count("curves", counts.curves);
    writer.count("series", counts.series);
    writer.count("swaps", counts.swaps);
    writer.close();
    return out;
}

std::string SeriesDocument(const SeriesList& series) {
    std::string out;
    ObjectWriter list(out);
    for (const auto& [handle, s] : series) {
        list.next(s->index);
        ObjectWriter entry(out);
        entry.text("handle", handle);
        entry.text("name", s->name);
        entry.text("StartDate", format_date(s->start_date));
        entry.text("MaturityDate", format_date(s->maturity_date));
        entry.number("Coupon", s->coupon_bps);
        entry.close();
    }
    list.close();
    return out;
}

std::string SpecsDocument(const QVLSwap& swap, const QVLSeries& series, Date trade_date,
                          Date settlement_date) {
    std::string out;
    ObjectWriter writer(out);
    writer.text("Index", series.index);
    writer.text("Name", series.name);
    writer.text("StartDate", format_date(series.start_date));
    writer.text("MaturityDate", format_date(series.maturity_date));
    writer.number("Coupon", series.coupon_bps);
    writer.text("Trade Date", format_date(trade_date));
    writer.text("Settlement Date", format_date(settlement_date));
    writer.text("Frequency", "M");
    writer.text("Daycount", "ACT/360");
    writer.text("Calendar", "NYB");
    writer.text("Currency", "USD");
    writer.text("Settlement", "T+3");
    writer.boolean("Is Buyer", swap.is_buyer);
    writer.number("Event Rate (bps)", swap.eventRate());
    writer.number("Notional", swap.notional);
    writer.close();
    return out;
}

std::string ValuationToJson(const ValuationResult& result) {
    return record_document(result);
}

std::string PnLToJson(const PnLResult& result) {
    return record_document(result);
}

std::string PaymentDocument(double cash_settlement_amount, Date payment_date,
                            std::string_view ois_date) {
    std::string out;
    ObjectWriter writer(out);
    writer.number("Cash Settlement Amount", cash_settlement_amount);
    writer.text("Payment Date", format_date(payment_date));
    writer.text("ois_date", ois_date);
    writer.close();
    return out;
}

}  // namespace qvl::service
