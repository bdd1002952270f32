// The channel between analog ends in the limits whose answers are known:
// ends of the reference impedance give the bare path, a through connection
// gives the resistive divider, a line as wide as the reference does not
// reflect. (tests/host/analog_scikit_rf.py compares the general case.)
#include "channel/analog_ends.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ami_host;

namespace {

SParameters through_connection()
{
    return matched_two_port({1e6, 1e9, 10e9}, {1.0, 1.0, 1.0});
}

TEST(AnalogEnds, IdealEndsGiveTheBarePath)
{
    const SParameters network = read_touchstone(CHANNELS "/short.s4p");
    AnalogEnds ideal; // 50 ohms, nothing else
    const FrequencyResponse bare = through_path(network, PortNumbering::Adjacent);
    const FrequencyResponse ended = terminated_path(network, {1, 3, 2, 4}, ideal, bare);
    for (size_t k = 0; k < bare.transfer.size(); ++k)
        ASSERT_LT(std::abs(ended.transfer[k] - bare.transfer[k]), 1e-12) << k;
}

TEST(AnalogEnds, ResistiveEndsDivideAsTheyShould)
{
    const struct {
        double source, load, transfer;
    } table[] = {{50, 50, 1.0}, {25, 50, 4.0 / 3.0}, {50, 1e6, 2.0 * 1e6 / (1e6 + 50)}, {100, 25, 0.4}};
    for (const auto &row : table) {
        AnalogEnds ends;
        ends.tx_resistance = row.source;
        ends.rx_conductance = 1.0 / row.load;
        const SParameters thru = through_connection();
        const FrequencyResponse single = terminated_path(thru, {1, 0, 2, 0}, ends, {});
        const FrequencyResponse pair = terminated_path(uncoupled_pair(thru), {1, 3, 2, 4}, ends, {});
        for (size_t k = 0; k < thru.frequencies.size(); ++k) {
            EXPECT_NEAR(std::abs(single.transfer[k] - row.transfer), 0.0, 1e-12) << row.source << ' ' << row.load;
            EXPECT_NEAR(std::abs(pair.transfer[k] - row.transfer), 0.0, 1e-12) << row.source << ' ' << row.load;
        }
    }
}

TEST(AnalogEnds, CapacitanceAndPackageShowAtHighFrequencyOnly)
{
    AnalogEnds ends;
    ends.tx_c_comp = ends.rx_c_comp = 1e-12;
    ends.tx_package[0] = ends.tx_package[1] = ends.rx_package[0] = ends.rx_package[1] = {0.0, 1e-9, 0.5e-12};
    const FrequencyResponse path = terminated_path(uncoupled_pair(through_connection()), {1, 3, 2, 4}, ends, {});
    EXPECT_NEAR(std::abs(path.transfer[0]), 1.0, 1e-3); // 1 MHz
    EXPECT_LT(std::abs(path.transfer[2]), 0.5);         // 10 GHz: the capacitances load the line
}

TEST(AnalogEnds, ALineOfTheReferenceImpedanceDoesNotReflect)
{
    Channel line;
    line.sample_interval = 1e-12;
    line.impulse = {0.0, 5e11, 5e11};
    for (double impedance : {50.0, 80.0}) {
        const SParameters two_port = line_two_port(line, impedance);
        const double reflection = std::abs(two_port.at(2000, 1, 1));
        EXPECT_EQ(reflection < 1e-15, impedance == 50.0) << reflection;
        EXPECT_EQ(two_port.at(10, 2, 1), two_port.at(10, 1, 2));
    }
}

} // namespace
