// IBIS files (.ibs): the components, pins and buffer models of a model kit,
// as far as a channel simulation of a serial link needs them. Keywords the
// host does not use are skipped.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace ami_host {

enum class Corner { Typ, Min, Max };

// A value given for the typical, minimum and maximum corners; NA in the
// minimum or maximum column takes the typical value.
struct CornerValues {
    std::array<double, 3> values{};
    int line = 0; // 0: not given in the file

    bool present() const { return line > 0; }
    double at(Corner corner) const { return values[static_cast<size_t>(corner)]; }
};

// An I-V table: the current into the pin (A) at each voltage (V), per corner.
struct IvTable {
    std::vector<double> voltage;
    std::array<std::vector<double>, 3> current;
    int line = 0; // of the keyword; 0: no table

    bool present() const { return line > 0; }
};

struct Executable {
    std::string platform; // e.g. Linux_gcc_64
    std::string library;
    std::string ami;
    int line = 0;
};

struct IbisModel {
    std::string name;
    std::string type; // Model_type as written
    int line = 0;
    int type_line = 0;
    CornerValues c_comp, voltage_range, rgnd, rpower, rac, cac;
    IvTable pullup, pulldown, gnd_clamp, power_clamp;
    int algorithmic_line = 0; // 0: no [Algorithmic Model]
    std::vector<Executable> executables;

    bool drives() const;    // an output or I/O buffer
    bool receives() const;  // an input or I/O buffer
};

struct IbisPin {
    std::string name, signal, model;
    CornerValues r_pin, l_pin, c_pin; // a single value (NA: not given)
    int line = 0;
};

struct DiffPin {
    std::string pin, inverting;
    int line = 0;
};

struct ModelSelector {
    std::string name;
    std::vector<std::string> models; // the first is the default
    int line = 0;
};

struct IbisComponent {
    std::string name, manufacturer;
    CornerValues r_pkg, l_pkg, c_pkg;
    std::vector<IbisPin> pins;
    std::vector<DiffPin> diff_pins;
    int line = 0;

    const IbisPin *pin(const std::string &name) const;
    // The other leg of `pin`'s differential pair, or null.
    const IbisPin *partner(const IbisPin &pin) const;
};

struct IbisFile {
    std::string path; // for messages, and the folder the kit's files lie in
    std::string version;
    std::vector<IbisComponent> components;
    std::vector<ModelSelector> selectors;
    std::vector<IbisModel> models;

    const IbisModel *model(const std::string &name) const;       // by name, ignoring case
    const ModelSelector *selector(const std::string &name) const; // by name, ignoring case
    std::string where(int line) const { return path + ":" + std::to_string(line); }
};

// Reads an IBIS file. Throws Error naming the file and line for what the
// host cannot use: a number that does not read, a table row of the wrong
// width, a negative C_comp, an I-V table whose typical current never reaches
// zero, a pin or selector naming a model that is not in the file, a pin
// with no model.
IbisFile read_ibis(const std::string &path);

// The same from text already in memory; `path` is used in messages.
IbisFile parse_ibis(const std::string &text, const std::string &path);

// The number an IBIS file writes, with its scale letter (T G M k m u n p f)
// and any unit after it ignored: "1.0nH", "20.0mA", "50". False for
// anything else (NA included).
bool read_ibis_number(const std::string &word, double &value);

} // namespace ami_host
