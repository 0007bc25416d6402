// The stand-in host against probe.xll, an add-in that exercises the cell values through the
// host and breaks some of the host's rules on purpose.

#include <algorithm>
#include <string>

#include "addin_fixture.hpp"

namespace {

using standin::Value;

class Probe : public AddinFixture {
  protected:
    Probe() : AddinFixture(PROBE_XLL_PATH) {}

    void SetUp() override {
        AddinFixture::SetUp();
        testing::internal::CaptureStderr();
        ASSERT_EQ(host.open(), 1);
        testing::internal::GetCapturedStderr();
    }

    bool has_fault(const std::string& part) const {
        return std::ranges::any_of(host.faults(),
                                   [&](const std::string& f) { return f.find(part) != f.npos; });
    }
};

TEST_F(Probe, RefusesRegistrationsARealHostRefuses) {
    EXPECT_TRUE(has_fault("longer than 255 characters"));
    EXPECT_TRUE(has_fault("Probe.Mismatch: argument text names 1 arguments, type text 2"));
    EXPECT_TRUE(has_fault("Probe.Nowhere: no export named ProbeNowhere"));
    // The add-in tells the user and goes on with the rest.
    EXPECT_EQ(host.alerts(), (std::vector<std::string>{"Could not register Probe.TooLong",
                                                       "Could not register Probe.Nowhere"}));
    EXPECT_EQ(host.registrations().size(), 4u);  // Echo, Text, Misbehave and Cancel
}

TEST_F(Probe, PassesValuesAsAHostDoes) {
    for (const Value& v : {Value(2.5), Value("text"), Value::boolean(true), Value::error(xlerrNA),
                           Value(), Value::missing(), Value(std::string(32767, 'a'))}) {
        EXPECT_EQ(host.call("Probe.Echo", {v}), v) << v;
    }
    // Empty cells of a range arrive as nil.
    const Value range = Value::grid(1, 2, {Value("a"), Value::missing()});
    EXPECT_EQ(host.call("Probe.Echo", {range}), Value::grid(1, 2, {Value("a"), Value()}));
    // Omitted "B" arguments arrive as 0, texts that are numbers as numbers; a text that is not
    // stops the call.
    EXPECT_EQ(host.call("Probe.Text"), Value(""));
    EXPECT_EQ(host.call("Probe.Text", {"2"}), Value("xx"));
    EXPECT_EQ(host.call("Probe.Text", {"two"}), Value::error(xlerrValue));
    EXPECT_EQ(host.call("Probe.Text", {Value::boolean(true)}), Value("x"));
    EXPECT_EQ(host.call("Probe.Text", {Value::error(xlerrNA)}), Value::error(xlerrNA));
    EXPECT_THROW(host.call("Probe.Echo", {1, 2}), std::invalid_argument);
    EXPECT_THROW(host.call("Probe.Unknown"), std::invalid_argument);
    EXPECT_EQ(host.faults().size(), 3u);  // only the three refused registrations
}

TEST_F(Probe, FlagsResultsAHostMustNotBeGiven) {
    host.call("Probe.Misbehave", {1});
    EXPECT_TRUE(has_fault("Probe.Misbehave returned NULL"));
    host.call("Probe.Misbehave", {2});
    EXPECT_TRUE(has_fault("Probe.Misbehave returned a value marked xlbitXLFree"));
    host.call("Probe.Misbehave", {3});
    EXPECT_TRUE(has_fault("string result longer than 32767 characters"));
    // A value the add-in hands over is copied and handed back through xlAutoFree12.
    const std::size_t before = host.faults().size();
    EXPECT_EQ(host.call("Probe.Misbehave", {4}), Value("handed over"));
    EXPECT_EQ(host.faults().size(), before);
}

TEST_F(Probe, RunsScheduledCommandsOnItsClock) {
    // The framework's load message, from the probe's own file name, and its timer.
    EXPECT_EQ(host.status_bar(), std::optional<std::string>("probe addin is loaded"));
    ASSERT_EQ(host.scheduled().size(), 1u);
    const double due = host.scheduled()[0].when;
    EXPECT_NEAR((due - host.now()) * 86400.0, 6.0, 1e-3);
    // A cancellation names the exact time of the request: at load time it misses, six seconds
    // later it hits.
    host.run_command("Probe.Cancel");
    EXPECT_EQ(host.scheduled().size(), 1u);
    host.set_now(due);
    host.run_command("Probe.Cancel");
    EXPECT_TRUE(host.scheduled().empty());
    host.close();
    host.open();
    // The probe does not register the command it schedules: when it falls due the host says so
    // instead of calling nothing.
    host.advance(6);
    EXPECT_TRUE(has_fault("scheduled command not registered: cellkit.ClearStatus"));
}

}  // namespace
