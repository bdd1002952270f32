// The IBIS reader on our kit's file, on the syntax it must accept (comment
// characters, case, units, NA, keywords it skips) and on files it must refuse.
#include "ibis/ibis_file.h"
#include "base/host_error.h"

#include <gtest/gtest.h>

#include <string>

using namespace ami_host;

namespace {

// A component of two pins and a Tx and an Rx model; the tests change it.
const std::string kFile = R"([IBIS Ver] 7.0
[Component] chip
[Manufacturer] maker
[Package]
R_pkg 0.1 0.05 0.15
L_pkg 1.0nH NA NA
C_pkg 0.5pF 0.4pF 0.6pF
[Pin] signal_name model_name R_pin L_pin C_pin
1 TXP tx 0.2 1.5nH NA
2 TXN tx
3 RXP rx
[Diff Pin] inv_pin vdiff tdelay_typ tdelay_min tdelay_max
1 2 0.1V 0ns NA NA
[Model] tx
Model_type Output
C_comp 1.0pF 0.8pF 1.2pF
[Voltage Range] 1.0V 0.95V 1.05V
[Pulldown]
-1.0 -20mA -18mA -22mA
1.0 20mA 18mA 22mA
[Ramp]
dV/dt_r 0.30/20ps 0.27/25ps 0.33/15ps
[Algorithmic Model]
Executable Linux_gcc_64 tx.so tx.ami
[End Algorithmic Model]
[Model] rx
Model_type Input
Vinl = 0.45V
C_comp 0.5pF 0.4pF 0.6pF
[GND Clamp]
0.0 0.0 NA NA
1.0 20mA NA NA
[Rgnd] 1k
[End]
)";

std::string replaced(const std::string &from, const std::string &to)
{
    std::string text = kFile;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

TEST(IbisFile, ReadsComponentsPinsAndModels)
{
    const IbisFile f = parse_ibis(kFile, "kit.ibs");
    ASSERT_EQ(f.components.size(), 1u);
    const IbisComponent &c = f.components[0];
    EXPECT_EQ(c.manufacturer, "maker");
    EXPECT_DOUBLE_EQ(c.l_pkg.at(Corner::Max), 1e-9); // NA takes the typical value
    EXPECT_DOUBLE_EQ(c.c_pkg.at(Corner::Min), 0.4e-12);
    ASSERT_EQ(c.pins.size(), 3u);
    EXPECT_DOUBLE_EQ(c.pins[0].r_pin.at(Corner::Typ), 0.2);
    EXPECT_DOUBLE_EQ(c.pins[0].l_pin.at(Corner::Typ), 1.5e-9);
    EXPECT_FALSE(c.pins[0].c_pin.present());
    EXPECT_EQ(c.partner(c.pins[1])->name, "1");
    EXPECT_EQ(c.partner(c.pins[2]), nullptr);
    const IbisModel &tx = *f.model("TX");
    EXPECT_TRUE(tx.drives() && !tx.receives());
    EXPECT_DOUBLE_EQ(tx.c_comp.at(Corner::Max), 1.2e-12);
    EXPECT_EQ(tx.pulldown.line, 18);
    EXPECT_DOUBLE_EQ(tx.pulldown.current[2][1], 22e-3);
    ASSERT_EQ(tx.executables.size(), 1u);
    EXPECT_EQ(tx.executables[0].ami, "tx.ami");
    EXPECT_EQ(tx.executables[0].line, 24);
    const IbisModel &rx = *f.model("rx");
    EXPECT_TRUE(rx.receives());
    EXPECT_DOUBLE_EQ(rx.rgnd.at(Corner::Min), 1e3);
    EXPECT_EQ(rx.algorithmic_line, 0);
}

TEST(IbisFile, AcceptsOtherSpellings)
{
    std::string text = "[Comment Char] #_char\n# a comment |\n" + kFile;
    for (const std::string word : {"[Pulldown]", "[Model] tx", "[Package]"})
        text.replace(text.find(word), word.size(), "# skipped\n" + word);
    text.replace(text.find("[GND Clamp]"), 11, "[gnd_clamp]  # a comment");
    text.replace(text.find("[Rgnd] 1k"), 9, "[Rgnd]\n1kOhm\n[Unknown Keyword] x\nwhatever 1 2");
    text.replace(text.find("C_comp 0.5pF"), 12, "C_comp_pullup 0.2pF NA NA\nC_comp_gnd_clamp 0.3pF");
    const IbisFile f = parse_ibis(text, "kit.ibs");
    EXPECT_DOUBLE_EQ(f.model("rx")->c_comp.at(Corner::Min), 0.2e-12 + 0.4e-12);
    EXPECT_TRUE(f.model("rx")->gnd_clamp.present());
    EXPECT_DOUBLE_EQ(f.model("rx")->rgnd.at(Corner::Typ), 1e3);
}

TEST(IbisFile, ReadsScaledNumbers)
{
    const struct {
        const char *word;
        double value;
    } table[] = {{"1.0nH", 1e-9}, {"0.5pF", 0.5e-12}, {"20.0mA", 0.02}, {"-3u", -3e-6}, {"2f", 2e-15},
                 {"1.5k", 1500}, {"2M", 2e6}, {"1G", 1e9}, {"1e-3V", 1e-3}, {"+50Ohm", 50}, {"1F", 1}};
    for (const auto &row : table) {
        double value = 0.0;
        EXPECT_TRUE(read_ibis_number(row.word, value)) << row.word;
        EXPECT_DOUBLE_EQ(value, row.value) << row.word;
    }
    double value = 0.0;
    for (const char *word : {"NA", "", "1.0n5", "x1", "inf", "nan", "0.30/20ps"})
        EXPECT_FALSE(read_ibis_number(word, value)) << word;
}

TEST(IbisFile, RefusesBadInputNamingTheLine)
{
    const struct {
        const char *from, *to;
        const char *where, *message;
    } table[] = {
        {"C_comp 1.0pF", "C_comp -1.0pF", "kit.ibs:16:", "C_comp is negative"},
        {"-1.0 -20mA -18mA -22mA", "-1.0 5mA 5mA 5mA", "kit.ibs:18:", "do not cross zero"},
        {"3 RXP rx", "3 RXP missing", "kit.ibs:11:", "model missing, which is not in the file"},
        {"3 RXP rx", "3 RXP", "kit.ibs:11:", "pin 3 names no model"},
        {"R_pkg 0.1 0.05 0.15", "R_pkg 0.1 x 0.15", "kit.ibs:5:", "R_pkg 'x' is not a number"},
        {"R_pkg 0.1 0.05 0.15", "R_pkg 0.1 0.05", "kit.ibs:5:", "typ, min and max"},
        {"1.0 20mA 18mA 22mA", "-1.0 20mA 18mA 22mA", "kit.ibs:20:", "must increase"},
        {"Executable Linux_gcc_64 tx.so tx.ami", "Executable Linux_gcc_64 tx.so", "kit.ibs:24:", "Executable line"},
        {"[Voltage Range]", "[Voltage Range", "kit.ibs:17:", "']' is missing"},
        {"[Model] tx", "[Model Selector] sel\nnone\n[Model] tx", "kit.ibs:14:", "names the model none"},
        {"[Package]", "[Package]\nZ_pkg 1", "kit.ibs:5:", "not 'Z_pkg'"},
    };
    for (const auto &row : table) {
        try {
            parse_ibis(replaced(row.from, row.to), "kit.ibs");
            ADD_FAILURE() << "accepted: " << row.to;
        } catch (const Error &e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind(row.where, 0), 0u) << message;
            EXPECT_NE(message.find(row.message), std::string::npos) << message;
        }
    }
}

TEST(IbisFile, ReadsTheKit)
{
    const IbisFile f = read_ibis(IBS_FILE);
    ASSERT_EQ(f.components.size(), 1u);
    for (const IbisModel &m : f.models)
        EXPECT_EQ(m.executables.size(), 2u) << m.name;
    EXPECT_THROW(read_ibis(IBS_FILE ".missing"), Error);
}

} // namespace
