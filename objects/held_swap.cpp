#include "objects/held_swap.hpp"

#include "core/solver.hpp"

namespace qvl::objects {

namespace {

// The memory an operation leaves: a copy that the operation changes step by step, written
// back when the operation ends, whether it returns or throws. A search's trail, when followed,
// is read at that moment.
class Update {
  public:
    explicit Update(SwapMemory& memory) : next(memory), memory_(memory) {}
    Update(const Update&) = delete;
    Update& operator=(const Update&) = delete;
    ~Update() {
        if (trail_) {
            if (trail_->last_rate) next.event_rate = *trail_->last_rate;
            if (trail_->trade_date_accepted) next.projection = trail_->last_projection;
        }
        memory_ = next;
    }

    void follow(const SearchTrail& trail) { trail_ = &trail; }

    SwapMemory next;

  private:
    SwapMemory& memory_;
    const SearchTrail* trail_ = nullptr;
};

// A valuation's part of the memory: the rate and date at once; the projection, once the series
// has accepted the date, is dropped and then becomes the one made, if made.
ValuationState value_at(const QVLSwap& swap, SwapMemory& next, Date t, double event_rate) {
    next.event_rate = event_rate;
    next.trade_date = t;
    const FactorProjection at = swap.series->validate_tradeDate(t, event_rate);
    next.projection.reset();
    ValuationState state = swap.project(at);
    next.projection = at;
    return state;
}

// A search for the event rate at t: the memory takes t, then what the search tried last.
template <class Search>
ValuationResult searched(SwapMemory& memory, Date t, Search search) {
    // Declared first, so that it still lives when the update reads it on the way out.
    SearchTrail trail;
    Update update(memory);
    update.next.trade_date = t;
    update.follow(trail);
    return search(&trail);
}

}  // namespace

ValuationResult HeldSwap::calc_from_event_rate(Date t, double event_rate) {
    Update update(memory_);
    return swap_.valuation(value_at(swap_, update.next, t, event_rate));
}

ValuationResult HeldSwap::solve_from_spread(Date t, double conventional_spread) {
    return searched(memory_, t, [&](SearchTrail* trail) {
        return qvl::solve_from_spread(swap_, t, conventional_spread, trail);
    });
}

ValuationResult HeldSwap::solve_from_upfront(Date t, double upfront_fee) {
    return searched(memory_, t, [&](SearchTrail* trail) {
        return qvl::solve_from_upfront(swap_, t, upfront_fee, trail);
    });
}

TradePayment HeldSwap::trade_payment(Date t, double clean_price, bool initiation,
                                     std::optional<double> event_rate) {
    Update update(memory_);
    SwapMemory& next = update.next;
    next.trade_date = t;
    FactorProjection at = swap_.series->validate_tradeDate(t, next.event_rate);
    const bool new_rate = event_rate && *event_rate != next.event_rate;
    if (new_rate) {
        next.event_rate = *event_rate;
        at.event_rate = *event_rate;
    }
    if (new_rate || !next.projection) {
        next.projection.reset();
        // Projected as a valuation would be, so that the payment fails where one would.
        static_cast<void>(swap_.project(at));
        next.projection = at;
    }
    // The accrual period's notional as that projection gives it, which may be from another
    // trade date or, after a valuation that failed on its date, at another rate.
    return swap_.payment_at(t, clean_price, initiation, at, *next.projection);
}

PnLResult HeldSwap::trade_pnl(Date t1, double clean_price_1, Date t2, double clean_price_2,
                              double event_rate) {
    Update update(memory_);
    const ValuationState close = value_at(swap_, update.next, t2, event_rate);
    // With the close valued, only the opening date's check can fail, and a failure leaves that
    // date, as a payment at it would.
    update.next.trade_date = t1;
    PnLResult result = swap_.pnl_from(t1, clean_price_1, close, clean_price_2);
    update.next.trade_date = t2;
    return result;
}

std::vector<CashflowRow> HeldSwap::cashflow_rows(Date t, std::optional<double> event_rate) {
    Update update(memory_);
    SwapMemory& next = update.next;
    const double rate = event_rate.value_or(next.event_rate);
    next.trade_date = t;
    // The rate is taken only once the series has accepted the date.
    const FactorProjection at = swap_.series->validate_tradeDate(t, rate);
    next.event_rate = rate;
    next.projection.reset();
    const ValuationState state = swap_.project(at);
    next.projection = at;
    return qvl::cashflow_rows(swap_, state);
}

RiskResult HeldSwap::risk(Date t, std::optional<double> event_rate) {
    Update update(memory_);
    const double rate = event_rate.value_or(update.next.event_rate);
    return qvl::risk_from(swap_, value_at(swap_, update.next, t, rate));
}

}  // namespace qvl::objects
