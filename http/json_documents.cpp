#include "http/json_documents.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>

#include "core/conventions.hpp"
#include "text/utf.hpp"

namespace qvl::service {

namespace {

// JSON text must be UTF-8 with no raw control characters. Texts reach the documents from cells
// and requests, so besides the quote and the backslash, every byte below 0x20 is escaped (line
// feed, carriage return and tab in their short forms) and a malformed UTF-8 sequence becomes
// U+FFFD; well-formed text is otherwise copied as it stands.
void append_escaped(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    // Copies the runs between escaped characters whole: most texts have none.
    std::size_t run = 0;
    const auto replace = [&](std::size_t at, std::size_t length, std::string_view by) {
        out.append(text, run, at - run);
        out += by;
        run = at + length;
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\') {
            ++i;
            continue;
        }
        std::size_t length = 1;
        switch (byte) {
            case '"':
                replace(i, 1, "\\\"");
                break;
            case '\\':
                replace(i, 1, "\\\\");
                break;
            case '\n':
                replace(i, 1, "\\n");
                break;
            case '\r':
                replace(i, 1, "\\r");
                break;
            case '\t':
                replace(i, 1, "\\t");
                break;
            default:
                if (byte < 0x20) {
                    const char control[] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xF]};
                    replace(i, 1, std::string_view(control, sizeof control));
                } else {
                    char32_t cp;
                    length = qvl::text::decode_utf8(text, i, cp);
                    if (cp == qvl::text::replacement_character &&
                        text.substr(i, 3) != "\xEF\xBF\xBD") {
                        replace(i, length, "\xEF\xBF\xBD");
                    }
                }
        }
        i += length;
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
    void operator()(std::string_view key, const std::optional<double>& value) {
        if (value) {
            number(key, *value);
        } else {
            next(key);
            out_ += "null";
        }
    }
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

std::string JsonErrorDocument(std::string_view message) {
    std::string out = R"({"error":")";
    append_escaped(out, message);
    out += "\"}";
    return out;
}

std::string HealthDocument(const objects::ObjectCache::CountsResult& counts) {
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
                          Date settlement_date, double event_rate) {
    std::string out;
    ObjectWriter writer(out);
    writer.text("Index", series.index);
    writer.text("Name", series.name);
    writer.text("StartDate", format_date(series.start_date));
    writer.text("MaturityDate", format_date(series.maturity_date));
    writer.number("Coupon", series.coupon_bps);
    writer.text("Trade Date", format_date(trade_date));
    writer.text("Settlement Date", format_date(settlement_date));
    writer.text("Frequency", frequency_text(swap.frequency_months));
    writer.text("Daycount", day_count_text);
    writer.text("Calendar", calendar_text);
    writer.text("Currency", currency_text);
    writer.text("Settlement", settlement_text(swap.settlement_delay));
    writer.boolean("Is Buyer", swap.is_buyer);
    writer.number("Event Rate (bps)", event_rate);
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

std::string risk_to_json(const RiskResult& result) {
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
