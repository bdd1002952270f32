// The host's .ami reader on the models' own .ami files (accepted, defaults
// and allowed values as the models themselves have them) and on malformed files.
#include "model/ami_file.h"
#include "base/host_error.h"
#include "model/model_loader.h"
#include "model/parameter_string.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using namespace ami_host;

namespace {

// The flattened name/value pairs of a parameter string written by a model.
void collect(const AmiNode &node, const std::string &prefix, std::map<std::string, std::string> &out)
{
    for (const AmiNode &c : node.children) {
        const std::string name = prefix.empty() ? c.name : prefix + "." + c.name;
        if (c.children.empty())
            out[name] = c.values.at(0);
        else
            collect(c, name, out);
    }
}

struct ModelRun {
    long status = 0;
    std::string message;
    std::map<std::string, std::string> parameters;
};

// AMI_Init of the model with `parameters` (null: none) on a short impulse.
ModelRun init_model(const char *library, const char *parameters)
{
    const ModelLibrary model(library, "model");
    std::vector<double> column(8192, 0.0);
    column[10] = 1e11;
    std::string in = parameters ? parameters : "";
    char *out = nullptr, *msg = nullptr;
    void *instance = nullptr;
    ModelRun run;
    run.status = model.init()(column.data(), static_cast<long>(column.size()), 0, 3.125e-12, 1e-10,
                            parameters ? in.data() : nullptr, &out, &instance, &msg);
    run.message = msg ? msg : "";
    if (out != nullptr)
        collect(parse_ami_syntax(out, "parameters_out"), "", run.parameters);
    model.close()(instance);
    return run;
}

double as_number(const std::string &text) { return std::strtod(text.c_str(), nullptr); }

// The model's own defaults (what AMI_Init echoes without a parameter string)
// equal the .ami defaults, and every allowed value of every parameter is
// accepted without a warning, while a value just outside is replaced.
void check_against_model(const char *library, const char *ami_path)
{
    const AmiFile ami = read_ami_file(ami_path);
    const ModelRun plain = init_model(library, nullptr);
    ASSERT_EQ(plain.status, 1) << plain.message;
    size_t settable = 0;
    for (const AmiParameter &p : ami.model_specific) {
        if (!p.settable())
            continue;
        ++settable;
        const std::string name = p.dotted_name();
        ASSERT_TRUE(plain.parameters.count(name)) << name << " is not in the model's parameter string";
        EXPECT_EQ(as_number(plain.parameters.at(name)), as_number(p.default_value)) << name;

        std::vector<std::string> allowed = p.format_values, refused;
        if (p.format == Format::Range) {
            allowed = {p.format_values[1], p.format_values[2]};
            refused = {std::to_string(as_number(p.format_values[1]) - 1),
                       std::to_string(as_number(p.format_values[2]) + 1)};
        } else {
            refused = {"3"};
        }
        if (p.type == ValueType::Integer)
            for (std::string &r : refused)
                r = std::to_string(std::atol(r.c_str()));
        for (const std::string &value : allowed) {
            AmiFile changed = ami;
            changed.model_specific[static_cast<size_t>(&p - ami.model_specific.data())].default_value = value;
            const ModelRun run = init_model(library, build_parameter_string(changed, {}, "test").text.c_str());
            EXPECT_EQ(run.message.find("Warning"), std::string::npos) << name << "=" << value << ": " << run.message;
            EXPECT_EQ(as_number(run.parameters.at(name)), as_number(value)) << name;
        }
        for (const std::string &value : refused) {
            if (p.check(value).empty())
                continue;
            AmiFile changed = ami;
            changed.model_specific[static_cast<size_t>(&p - ami.model_specific.data())].default_value = value;
            const ModelRun run = init_model(library, build_parameter_string(changed, {}, "test").text.c_str());
            EXPECT_NE(run.message.find("**Warning** Invalid"), std::string::npos) << name << "=" << value;
        }
    }
    EXPECT_EQ(settable, plain.parameters.size());
}

TEST(AmiFile, TheTxFileIsAcceptedAndMatchesTheModel)
{
    const AmiFile ami = read_ami_file(TX_AMI);
    EXPECT_EQ(ami.root, "dorvex8_tx");
    EXPECT_TRUE(ami.init_returns_impulse());
    EXPECT_TRUE(ami.getwave_exists());
    EXPECT_EQ(ami.ami_version(), "7.0");
    for (const AmiParameter &p : ami.model_specific)
        EXPECT_FALSE(p.description.empty()) << p.dotted_name();
    check_against_model(TX_MODEL, TX_AMI);
}

TEST(AmiFile, TheRxFileIsAcceptedAndMatchesTheModel)
{
    const AmiFile ami = read_ami_file(RX_AMI);
    EXPECT_EQ(ami.root, "Quorvane_pelisk4");
    EXPECT_GT(ami.ignore_bits(), 0);
    ASSERT_NE(ami.find({"clock_recovery", "step"}), nullptr);
    EXPECT_EQ(ami.find({"clock_recovery", "step"})->default_value, "0.03125");
    for (const AmiParameter &p : ami.model_specific)
        EXPECT_FALSE(p.description.empty()) << p.dotted_name();
    check_against_model(RX_MODEL, RX_AMI);
}

TEST(AmiFile, TheIbisFileNamesBothModelsForBothLinuxWidths)
{
    const std::string ibs = read_text_file(IBS_FILE, "the .ibs file");
    for (const char *line : {"Executable Linux_gcc_64 dorvex8_tx_x86_64.so dorvex8_tx.ami",
                             "Executable Linux_gcc_32 dorvex8_tx_i386.so dorvex8_tx.ami",
                             "Executable Linux_gcc_64 Quorvane_pelisk4_x86_64.so Quorvane_pelisk4.ami",
                             "Executable Linux_gcc_32 Quorvane_pelisk4_i386.so Quorvane_pelisk4.ami"})
        EXPECT_NE(ibs.find(line), std::string::npos) << line;
    // The Tx library this tree builds carries the name the .ibs file gives it.
    const std::string built = TX_MODEL;
    EXPECT_NE(ibs.find(built.substr(built.rfind('/') + 1)), std::string::npos);
}

TEST(AmiFile, MalformedFilesAreRefusedWithTheLine)
{
    const std::string reserved = "(Reserved_Parameters (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value True))\n"
                                 " (GetWave_Exists (Usage Info) (Type Boolean) (Value True)))\n";
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "x.ami:1: the file holds no parameter tree"},
        {"(m " + reserved, "x.ami:1: item 'm' is never closed"},
        {"(m " + reserved + "))", "x.ami:3: text after the end of the root item"},
        {"(m " + reserved + "(Model_Specific (a (Usage In) (Range 1 0 2))))", "x.ami:3: parameter 'a' has no (Type"},
        {"(m " + reserved + "(Model_Specific (a (Usage In) (Type Integer) (Range 1 2 0))))",
         "minimum 2 exceeds the maximum 0"},
        {"(m " + reserved + "(Model_Specific (a (Usage In) (Type Integer) (List 1 2) (Default 3))))",
         "its default '3' is not one of 1, 2"},
        {"(m " + reserved + "(Model_Specific (a (Usage In) (Type Integer) (Range 0.5 0 1))))",
         "'0.5' is not an integer"},
        {"(m " + reserved + "(Model_Specific (a (Usage Sideways) (Type Integer) (Value 1))))", "unknown Usage"},
        {"(m " + reserved + "(Model_Specific (a (Usage In) (Type Integer) (Value 1))\n (a (Usage In) (Type Integer) (Value 2))))",
         "x.ami:4: 'a' is declared twice"},
        {"(m " + reserved + "(Model_Specific (a 3)))", "'a' is neither a parameter"},
        {"(m (Reserved_Parameters (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value True))))",
         "must declare GetWave_Exists"},
        {"(m " + reserved + "(Model_Specific (a (Usage In) (Type String) (Value \"open))))", "quoted text is never closed"},
        {"(m " + reserved + "(Model_Specific ()))", "'(' must be followed by a name"},
        {[] {
             std::string text;
             for (int depth = 0; depth < 101; ++depth)
                 text += "(a ";
             return text + "1" + std::string(101, ')');
         }(),
         "x.ami:1: items nested more than 100 deep"},
    };
    for (const auto &c : cases) {
        try {
            parse_ami_file(c.text, "x.ami");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const Error &e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what() << "\nwanted: " << c.error;
        }
    }
}

TEST(AmiFile, CommentsShortReservedFormsAndOlderFormatKeywordsAreRead)
{
    const AmiFile ami = parse_ami_file("| a comment (with parentheses\n"
                                       "(m (Reserved_Parameters (Init_Returns_Impulse True) (GetWave_Exists False)\n"
                                       "  (Ignore_Bits 250)) | trailing comment\n"
                                       " (Model_Specific (b (Usage InOut) (Type Float) (Format Range 0.5 0 1))\n"
                                       "  (c (Usage Out) (Type Integer) (Format List 4 8))))",
                                       "old.ami");
    EXPECT_FALSE(ami.getwave_exists());
    EXPECT_EQ(ami.ignore_bits(), 250);
    ASSERT_EQ(ami.model_specific.size(), 2u);
    EXPECT_EQ(ami.model_specific[0].default_value, "0.5");
    EXPECT_EQ(ami.model_specific[1].format, Format::List);
    EXPECT_FALSE(ami.model_specific[1].settable());
}

} // namespace
