// The parameter string builder: defaults, nested branches, text values and
// the overrides it refuses.
#include "model/ami_file.h"
#include "base/host_error.h"
#include "model/parameter_string.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace ami_host;

namespace {

std::vector<Override> overrides(std::initializer_list<const char *> texts)
{
    std::vector<Override> out;
    for (const char *t : texts)
        out.push_back(parse_override(t));
    return out;
}

TEST(ParameterString, DefaultsAndOverridesNestByBranch)
{
    const AmiFile rx = read_ami_file(RX_AMI);
    EXPECT_EQ(build_parameter_string(rx, {}, "Rx").text,
              "(Quorvane_pelisk4 (clock_recovery (phase 0) (step 0.03125) (count 16)) (RX_Process 0) (EQ_Config 0)"
              " (Coupling_Config 0))");
    const ParameterSet set =
        build_parameter_string(rx, overrides({"clock_recovery.step=0.0625", " EQ_Config = 4 "}), "Rx");
    EXPECT_EQ(set.text, "(Quorvane_pelisk4 (clock_recovery (phase 0) (step 0.0625) (count 16)) (RX_Process 0)"
                        " (EQ_Config 4) (Coupling_Config 0))");
    EXPECT_EQ(set.values[1], (std::pair<std::string, std::string>("clock_recovery.step", "0.0625")));

    // Text values are quoted; a branch may come last and Out parameters stay out.
    const AmiFile own = read_ami_file(PASSTHROUGH_AMI);
    EXPECT_EQ(build_parameter_string(own, overrides({"clock.clocks=1"}), "Rx").text,
              "(passthrough (gain 1) (fail_init 0) (clock (clocks 1) (phase 0.5)) (label \"pass\"))");
}

TEST(ParameterString, RefusedOverridesSayWhy)
{
    const AmiFile tx = read_ami_file(TX_AMI);
    const AmiFile rx = read_ami_file(RX_AMI);
    const struct {
        const AmiFile *ami;
        const char *override_text;
        const char *error;
    } cases[] = {
        {&tx, "TX_Deemf=3", "Tx parameter 'TX_Deemf' is not declared in"},
        {&tx, "TX_Deemph=9", "TX_Deemph=9 is refused: '9' is outside the range 0 to 7"},
        {&tx, "TX_Deemph=3.5", "'3.5' is not an integer"},
        {&rx, "clock_recovery.step=0.1", "'0.1' is not one of 0.03125, 0.0078125, 0.015625, 0.0625, 0.125"},
        {&rx, "clock_recovery.phase=x", "'x' is not a number"},
        {&rx, "step=0.0625", "'step' is not declared"},
    };
    for (const auto &c : cases) {
        try {
            build_parameter_string(*c.ami, overrides({c.override_text}), c.ami == &tx ? "Tx" : "Rx");
            ADD_FAILURE() << "accepted " << c.override_text;
        } catch (const Error &e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(build_parameter_string(tx, overrides({"TX_Deemph=1", "TX_Deemph=2"}), "Tx"), Error);
    for (const char *bad : {"TX_Deemph", "=3", "TX_Deemph=", "a..b=1"})
        EXPECT_THROW(parse_override(bad), Error) << bad;

    const AmiFile with_out = parse_ami_file(
        "(m (Reserved_Parameters (Init_Returns_Impulse True) (GetWave_Exists True))"
        " (Model_Specific (o (Usage Out) (Type Float) (Value 0))))",
        "o.ami");
    EXPECT_THROW(build_parameter_string(with_out, overrides({"o=1"}), "Tx"), Error);
}

} // namespace
