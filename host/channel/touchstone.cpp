// Touchstone reader and writer. The reader goes line by line: "!" starts a
// comment, "#" is the option line, "[...]" a version 2.0 keyword, and every
// other line carries numbers that fill one frequency's record after another.
// A record always starts on a new line, which is what catches a port count
// that does not match the data.
#include "channel/touchstone.h"

#include "base/host_error.h"
#include "base/text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <numbers>
#include <optional>
#include <sstream>
#include <string_view>

namespace ami_host {
namespace {

enum class ValueFormat { MagnitudeAngle, DecibelAngle, RealImaginary };
enum class MatrixFormat { Full, Lower, Upper };

std::vector<std::string> split_words(const std::string &line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// A number written the C way whatever the locale; a leading "+" is allowed.
std::optional<double> parse_number(const std::string &word)
{
    const char *begin = word.data();
    const char *end = word.data() + word.size();
    if (begin != end && *begin == '+')
        ++begin;
    double value = 0.0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || begin == end)
        return std::nullopt;
    return value;
}

// The port count that a name ending in ".s<N>p" announces, or 0.
int ports_from_extension(const std::string &name)
{
    const std::string lowered = lowercase(name);
    const size_t dot = lowered.rfind('.');
    if (dot == std::string::npos || lowered.size() < dot + 4 || lowered[dot + 1] != 's' || lowered.back() != 'p')
        return 0;
    const std::string digits = lowered.substr(dot + 2, lowered.size() - dot - 3);
    int ports = 0;
    const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), ports);
    return error == std::errc() && stop == digits.data() + digits.size() && ports > 0 ? ports : 0;
}

constexpr std::string_view utf8_byte_order_mark = "\xEF\xBB\xBF";

// Lines may end in LF, CR LF or a lone CR (old Mac editors); each becomes one
// LF, so that a file of CR endings still has its lines and line numbers.
std::string with_newline_endings(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] == '\n'))
            continue;
        out += text[i] == '\r' ? '\n' : text[i];
    }
    return out;
}

// Enough for any real network while keeping a record's size far from overflow.
constexpr int most_ports = 1000;

class Parser {
public:
    explicit Parser(const std::string &name) : name_(name) { network_.source = name; }

    SParameters parse(std::string_view text)
    {
        if (text.starts_with(utf8_byte_order_mark))
            text.remove_prefix(utf8_byte_order_mark.size());
        std::istringstream in(with_newline_endings(text));
        for (std::string line; !finished_ && std::getline(in, line);) {
            ++line_number_;
            take_line(line);
        }
        finish();
        return std::move(network_);
    }

private:
    [[noreturn]] void fail(const std::string &message, size_t line = 0) const
    {
        throw Error(name_ + ":" + std::to_string(line ? line : line_number_) + ": " + message);
    }

    void take_line(std::string line)
    {
        const size_t comment = line.find('!');
        if (comment != std::string::npos) {
            notice_comment(line.substr(comment + 1));
            line.erase(comment);
        }
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos)
            return;
        line.erase(0, first);
        if (in_information_) {
            if (lowercase(line).starts_with("[end information]"))
                in_information_ = false;
            return;
        }
        if (line[0] == '[')
            take_keyword(line);
        else if (reading_reference_)
            take_reference(split_words(line));
        else if (line[0] == '#')
            take_option_line(line.substr(1));
        else if (!in_noise_data_)
            take_data(split_words(line));
    }

    void notice_comment(const std::string &comment)
    {
        const std::string text = lowercase(comment);
        if (!port_impedance_note_ && text.find("port impedance") != std::string::npos) {
            port_impedance_note_ = true;
            network_.notes.push_back("comments list port impedances per frequency: they are ignored and the "
                                     "S-parameters taken as written, referred to the option line's impedance");
        }
    }

    void take_option_line(const std::string &text)
    {
        if (option_seen_)
            return; // only the first option line counts
        option_seen_ = true;
        const auto words = split_words(text);
        for (size_t i = 0; i < words.size(); ++i) {
            const std::string word = lowercase(words[i]);
            if (word == "hz" || word == "khz" || word == "mhz" || word == "ghz")
                frequency_unit_ = word == "hz" ? 1.0 : word == "khz" ? 1e3 : word == "mhz" ? 1e6 : 1e9;
            else if (word == "s")
                continue;
            else if (word == "y" || word == "z" || word == "g" || word == "h")
                fail(std::string(1, static_cast<char>(std::toupper(word[0]))) +
                     "-parameters: only S-parameter files are supported");
            else if (word == "ma" || word == "db" || word == "ri")
                format_ = word == "ma" ? ValueFormat::MagnitudeAngle
                          : word == "db" ? ValueFormat::DecibelAngle
                                         : ValueFormat::RealImaginary;
            else if (word == "r") {
                if (i + 1 == words.size())
                    fail("the option line's R has no value");
                const auto ohms = parse_number(words[++i]);
                if (!ohms)
                    fail("reference impedance '" + words[i] + "' is not a real number: only a real reference "
                         "impedance is supported");
                set_reference(*ohms);
            } else
                fail("unknown word '" + words[i] + "' in the option line");
        }
    }

    void set_reference(double ohms)
    {
        if (!std::isfinite(ohms) || ohms <= 0.0)
            fail("the reference impedance must be a positive number of ohms");
        network_.reference_ohms = ohms;
    }

    void take_keyword(const std::string &line)
    {
        const size_t close = line.find(']');
        if (close == std::string::npos)
            fail("unterminated keyword '" + line + "'");
        const std::string keyword = lowercase(line.substr(1, close - 1));
        const std::string argument = line.substr(close + 1);
        const auto words = split_words(argument);
        if (version_ == 1 && keyword != "version")
            fail("keyword [" + line.substr(1, close - 1) + "] before [Version]");
        // Declarations read after the data began would reshape what is stored.
        if ((in_network_data_ || in_noise_data_) && keyword != "noise data" && keyword != "end" &&
            keyword != "begin information")
            fail("keyword [" + line.substr(1, close - 1) + "] after [Network Data]: declarations come before it");
        if (keyword == "version") {
            if (words.empty() || !words[0].starts_with("2."))
                fail("unsupported Touchstone version '" + argument + "'");
            version_ = 2;
        } else if (keyword == "number of ports") {
            declared_ports_ = integer_argument(words, keyword);
        } else if (keyword == "two-port data order") {
            const std::string order = words.empty() ? "" : lowercase(words[0]);
            if (order != "12_21" && order != "21_12")
                fail("[Two-Port Data Order] must be 12_21 or 21_12");
            two_port_order_21_12_ = order == "21_12";
            order_given_ = true;
        } else if (keyword == "number of frequencies") {
            declared_frequencies_ = integer_argument(words, keyword);
        } else if (keyword == "number of noise frequencies") {
            network_.notes.push_back("noise parameters are not used");
        } else if (keyword == "reference") {
            require_ports("[Reference]");
            reading_reference_ = true;
            take_reference(words);
        } else if (keyword == "matrix format") {
            const std::string format = words.empty() ? "" : lowercase(words[0]);
            if (format != "full" && format != "lower" && format != "upper")
                fail("[Matrix Format] must be Full, Lower or Upper");
            matrix_format_ = format == "full" ? MatrixFormat::Full
                             : format == "lower" ? MatrixFormat::Lower
                                                 : MatrixFormat::Upper;
        } else if (keyword == "mixed-mode order") {
            fail("mixed-mode data: only single-ended S-parameters are supported");
        } else if (keyword == "network data") {
            begin_network_data();
        } else if (keyword == "noise data") {
            in_noise_data_ = true;
            network_.notes.push_back("noise parameters are not used");
        } else if (keyword == "end") {
            finished_ = true;
        } else if (keyword == "begin information") {
            in_information_ = true;
        } else {
            fail("keyword [" + line.substr(1, close - 1) + "] is not supported");
        }
    }

    int integer_argument(const std::vector<std::string> &words, const std::string &keyword)
    {
        int value = 0;
        if (words.size() == 1) {
            const auto [stop, error] = std::from_chars(words[0].data(), words[0].data() + words[0].size(), value);
            if (error == std::errc() && stop == words[0].data() + words[0].size() && value > 0)
                return value;
        }
        fail("[" + keyword + "] needs one positive whole number");
    }

    void require_ports(const std::string &what)
    {
        if (declared_ports_ == 0)
            fail(what + " before [Number of Ports]");
    }

    void take_reference(const std::vector<std::string> &words)
    {
        for (const auto &word : words) {
            const auto ohms = parse_number(word);
            if (!ohms)
                fail("reference impedance '" + word + "' is not a real number: only real reference impedances "
                     "are supported");
            references_.push_back(*ohms);
        }
        if (references_.size() > static_cast<size_t>(declared_ports_))
            fail("[Reference] lists more impedances than there are ports");
        if (references_.size() < static_cast<size_t>(declared_ports_))
            return;
        reading_reference_ = false;
        for (double ohms : references_)
            if (ohms != references_[0]) {
                std::string list;
                for (double each : references_)
                    list += (list.empty() ? "" : " ") + std::to_string(each);
                fail("the ports have different reference impedances (" + list +
                     " ohms): a reference impedance per port is not supported");
            }
        set_reference(references_[0]);
    }

    void begin_network_data()
    {
        if (version_ != 2)
            fail("[Network Data] before [Version]");
        require_ports("[Network Data]");
        if (declared_ports_ == 2 && !order_given_)
            fail("a 2-port file needs [Two-Port Data Order]");
        const int from_name = ports_from_extension(name_);
        if (from_name && from_name != declared_ports_)
            fail("[Number of Ports] is " + std::to_string(declared_ports_) + " but the name announces " +
                 std::to_string(from_name) + " ports");
        start_data(declared_ports_);
        in_network_data_ = true;
    }

    void start_data(int ports)
    {
        if (ports > most_ports)
            fail(std::to_string(ports) + " ports: at most " + std::to_string(most_ports) + " are supported");
        network_.ports = ports;
        const size_t n = static_cast<size_t>(ports);
        const size_t stored_pairs = matrix_format_ == MatrixFormat::Full ? n * n : n * (n + 1) / 2;
        record_size_ = 1 + 2 * stored_pairs;
    }

    void take_data(const std::vector<std::string> &words)
    {
        if (version_ == 2 && !in_network_data_)
            fail("data before [Network Data]");
        if (network_.ports == 0) {
            const int ports = ports_from_extension(name_);
            if (ports == 0)
                fail("cannot tell the port count: a version 1 file's name must end in .s<N>p");
            if (!option_seen_)
                network_.notes.push_back("no option line: GHz, S, MA, 50 ohms assumed");
            start_data(ports);
        }
        if (record_.empty()) {
            record_line_ = line_number_;
            if (starts_noise_data(words))
                return;
        }
        for (size_t i = 0; i < words.size(); ++i) {
            const auto value = parse_number(words[i]);
            if (!value)
                fail("'" + words[i] + "' is not a number");
            if (!std::isfinite(*value))
                fail("'" + words[i] + "' is not a finite number");
            record_.push_back(*value);
            if (record_.size() == record_size_) {
                if (i + 1 != words.size())
                    fail("more numbers on the line than a record of " + std::to_string(network_.ports) +
                         " ports holds (" + std::to_string(record_size_) + " per frequency); " + port_count_hint());
                store_record();
            }
        }
    }

    // Version 1 two-port files may end with noise parameters: five numbers a
    // line, starting at a frequency not above the last network frequency.
    bool starts_noise_data(const std::vector<std::string> &words)
    {
        if (version_ != 1 || network_.ports != 2 || words.size() != 5 || network_.frequencies.empty())
            return false;
        const auto frequency = parse_number(words[0]);
        if (!frequency || *frequency * frequency_unit_ > network_.frequencies.back())
            return false;
        in_noise_data_ = true;
        network_.notes.push_back("noise parameters are not used");
        return true;
    }

    std::string port_count_hint() const
    {
        return version_ == 1 ? "is the file's extension right?" : "does [Number of Ports] match the data?";
    }

    void store_record()
    {
        const double frequency = record_[0] * frequency_unit_;
        if (frequency < 0.0)
            fail("negative frequency", record_line_);
        if (!network_.frequencies.empty() && frequency <= network_.frequencies.back())
            fail("frequencies must increase: " + number_text(frequency) + " Hz follows " +
                     number_text(network_.frequencies.back()) + " Hz",
                 record_line_);
        network_.frequencies.push_back(frequency);
        const size_t n = static_cast<size_t>(network_.ports);
        const size_t base = network_.values.size();
        network_.values.resize(base + n * n);
        size_t pair = 0;
        for (size_t row = 0; row < n; ++row)
            for (size_t column = 0; column < n; ++column) {
                if ((matrix_format_ == MatrixFormat::Lower && column > row) ||
                    (matrix_format_ == MatrixFormat::Upper && column < row))
                    continue;
                const auto value = to_complex(record_[1 + 2 * pair], record_[2 + 2 * pair]);
                ++pair;
                size_t to = row, from = column;
                if (n == 2 && two_port_order_21_12_ && row != column)
                    std::swap(to, from);
                network_.values[base + to * n + from] = value;
                if (matrix_format_ != MatrixFormat::Full)
                    network_.values[base + from * n + to] = value; // the other triangle by reciprocity
            }
        record_.clear();
    }

    std::complex<double> to_complex(double first, double second) const
    {
        switch (format_) {
        case ValueFormat::RealImaginary:
            return {first, second};
        case ValueFormat::DecibelAngle:
            return std::polar(std::pow(10.0, first / 20.0), second * std::numbers::pi / 180.0);
        case ValueFormat::MagnitudeAngle:
            break;
        }
        return std::polar(first, second * std::numbers::pi / 180.0);
    }

    static std::string number_text(double value)
    {
        char text[32];
        const auto result = std::to_chars(text, text + sizeof text, value);
        return std::string(text, result.ptr);
    }

    void finish()
    {
        if (reading_reference_)
            fail("[Reference] lists fewer impedances than there are ports");
        if (version_ == 2 && !finished_)
            fail("no [End]: the file is truncated");
        if (!record_.empty())
            fail("the record at line " + std::to_string(record_line_) + " is incomplete: " +
                     std::to_string(record_.size()) + " of " + std::to_string(record_size_) +
                     " numbers (a truncated file? " + port_count_hint() + ")",
                 line_number_);
        if (network_.frequencies.empty())
            fail("no network data");
        if (declared_frequencies_ && static_cast<size_t>(declared_frequencies_) != network_.frequencies.size())
            fail("[Number of Frequencies] is " + std::to_string(declared_frequencies_) + " but the file holds " +
                 std::to_string(network_.frequencies.size()));
    }

    std::string name_;
    SParameters network_;
    size_t line_number_ = 0;
    int version_ = 1;
    bool option_seen_ = false;
    double frequency_unit_ = 1e9;
    ValueFormat format_ = ValueFormat::MagnitudeAngle;
    MatrixFormat matrix_format_ = MatrixFormat::Full;
    bool two_port_order_21_12_ = true;
    bool order_given_ = false;
    int declared_ports_ = 0;
    int declared_frequencies_ = 0;
    std::vector<double> references_;
    bool reading_reference_ = false;
    bool in_network_data_ = false;
    bool in_noise_data_ = false;
    bool in_information_ = false;
    bool finished_ = false;
    bool port_impedance_note_ = false;
    size_t record_size_ = 0;
    std::vector<double> record_;
    size_t record_line_ = 0;
};

void append_number(std::string &line, double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    line += ' ';
    line.append(text, result.ptr);
}

} // namespace

SParameters parse_touchstone(const std::string &text, const std::string &name)
{
    return Parser(name).parse(text);
}

SParameters read_touchstone(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw Error(path + ": cannot open the file");
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad())
        throw Error(path + ": cannot read the file");
    return parse_touchstone(text.str(), path);
}

SParameters matched_two_port(const std::vector<double> &frequencies,
                             const std::vector<std::complex<double>> &transfer)
{
    SParameters network;
    network.ports = 2;
    network.frequencies = frequencies;
    for (const auto &value : transfer)
        network.values.insert(network.values.end(), {0.0, value, value, 0.0});
    return network;
}

void write_touchstone(const std::string &path, const SParameters &network)
{
    std::ofstream file(path, std::ios::binary);
    if (!file)
        throw Error(path + ": cannot create the file");
    const size_t n = static_cast<size_t>(network.ports);
    std::string text = "! " + std::to_string(n) + "-port S-parameters written by ami_host\n# Hz S RI R";
    append_number(text, network.reference_ohms);
    text += '\n';
    for (size_t k = 0; k < network.frequencies.size(); ++k) {
        std::string line;
        append_number(line, network.frequencies[k]);
        // Two-ports list S11 S21 S12 S22 on one line; larger networks go row
        // by row, four values a line.
        for (size_t row = 0; row < n; ++row)
            for (size_t column = 0; column < n; ++column) {
                const size_t to = n == 2 ? column : row, from = n == 2 ? row : column;
                if (n > 2 && column > 0 && column % 4 == 0) {
                    text += line.substr(1) + '\n';
                    line.clear();
                }
                const auto value = network.values[(k * n + to) * n + from];
                append_number(line, value.real());
                append_number(line, value.imag());
                if (n > 2 && column + 1 == n) {
                    text += line.substr(1) + '\n';
                    line.clear();
                }
            }
        if (!line.empty())
            text += line.substr(1) + '\n';
    }
    file << text;
    if (!file.flush())
        throw Error(path + ": cannot write the file");
}

} // namespace ami_host
