// Buffers linearised at their operating points: resistive drivers, a
// current-steering driver with its termination in the clamp table, and
// receivers terminated by tables, by resistors or not at all.
#include "ibis/linear_buffer.h"
#include "base/host_error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace ami_host;

namespace {

// A model of `type` with the keywords in `body`, read as a file of its own.
IbisFile model_file(const std::string &type, const std::string &body)
{
    return parse_ibis("[Model] m\nModel_type " + type + "\nC_comp 1pF 0.8pF 1.2pF\n" + body, "m.ibs");
}

const std::string kRange = "[Voltage Range] 1.0 0.9 1.1\n";
const std::string kResistiveDown = "[Pulldown]\n-1 -20mA NA NA\n2 40mA NA NA\n";
const std::string kResistiveUp = "[Pullup]\n-1 25mA NA NA\n2 -50mA NA NA\n"; // 40 ohms to the supply
// A 16 mA current sink, saturated above 0.2 V with 2 kohm left, and 50 ohms
// of termination to the supply in the clamp table.
const std::string kSink = "[Pulldown]\n0 0 NA NA\n0.2 15.9mA NA NA\n2 16.8mA NA NA\n";
const std::string kTermination = "[POWER Clamp]\n-1 20mA NA NA\n2 -40mA NA NA\n";
const std::string kFlatClamps = "[GND Clamp]\n-1 -0.5 NA NA\n-0.6 0 NA NA\n2 0 NA NA\n"
                                "[POWER Clamp]\n-1 0.5 NA NA\n-0.6 0 NA NA\n2 0 NA NA\n";

TEST(LinearBuffer, OutputResistanceIsTheMeanOfTheTwoStates)
{
    const struct {
        const char *name;
        std::string body;
        double ohms;
    } table[] = {
        {"resistive", kRange + kResistiveDown + kResistiveUp, 0.5 * (50 + 40)},
        {"pulldown alone, terminated", kRange + kResistiveDown + kTermination, 0.5 * (1 / (1 / 50. + 1 / 50.) + 50)},
        // Low: the sink meets the termination just above 0.2 V, where the
        // sink has 2 kohm; high: the termination alone.
        {"current steering", kRange + kSink + kTermination, 0.5 * (1 / (1 / 2000. + 1 / 50.) + 50)},
    };
    for (const auto &row : table) {
        const IbisFile file = model_file("Output", row.body);
        EXPECT_NEAR(output_buffer(file, file.models[0], Corner::Typ).resistance, row.ohms, 1e-9 * row.ohms)
            << row.name;
    }
}

TEST(LinearBuffer, InputConductanceAtTheOperatingPoint)
{
    const struct {
        const char *name;
        std::string body;
        double ohms; // infinity: open
    } table[] = {
        {"split termination", kRange + kFlatClamps + "[Rgnd] 100\n[Rpower] 100\n", 50},
        {"termination in a table", kRange + kTermination, 50},
        {"clamps alone", kRange + kFlatClamps, INFINITY},
    };
    for (const auto &row : table) {
        const IbisFile file = model_file("Input", row.body);
        const double ohms = input_buffer(file, file.models[0], Corner::Typ).resistance;
        EXPECT_TRUE(ohms == row.ohms || std::fabs(ohms - row.ohms) < 1e-9 * row.ohms) << row.name << ": " << ohms;
    }
}

TEST(LinearBuffer, RefusesWhatGivesNoResistance)
{
    const struct {
        const char *type;
        std::string body;
        const char *message;
    } table[] = {
        {"Output", kRange, "neither [Pulldown] nor [Pullup]"},
        {"Output", kResistiveDown, "driving high: no table or resistor does not conduct"},
        {"Output", kResistiveDown + kTermination, "no [Voltage Range]"},
        {"Input", kTermination, "no [Voltage Range]"},
    };
    for (const auto &row : table) {
        const IbisFile file = model_file(row.type, row.body);
        try {
            if (file.models[0].drives())
                output_buffer(file, file.models[0], Corner::Typ);
            else
                input_buffer(file, file.models[0], Corner::Typ);
            ADD_FAILURE() << "accepted: " << row.body;
        } catch (const Error &e) {
            EXPECT_NE(std::string(e.what()).find(row.message), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("m.ibs:", 0), 0u) << e.what();
        }
    }
}

} // namespace
