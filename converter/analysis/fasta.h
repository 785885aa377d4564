#pragma once
// The controls FASTA file: adapter records and control-library records, each a header line
// ('>' and a name) followed by exactly one sequence line. Loaded once at start-up and read by
// the control and adapter stages and the metrics.
#include "converter/analysis/control_class.h"
#include "converter/analysis/index.h"
#include "converter/pipeline/two_bit_seq.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

class Config;

// A header whose name begins with one of Adapter_prefixes.
class FastaAdapter {
public:
    FastaAdapter(std::string name, std::string sequence);

    std::string name; // the whole header text after '>'
    std::string sequence;
    TwoBitSeq bases;
};

// A control-library sequence, with an index of the sequence (reference 0) and its reverse
// complement (reference 1); the index is empty for an empty sequence.
class FastaControl {
public:
    FastaControl(std::string name, std::string sequence, std::pair<ControlClass, std::string> control_class, int w,
                 int k);

    std::string name; // header text between '>' and the class tag
    std::string sequence;
    std::pair<ControlClass, std::string> control_class;
    Index index;
};

class Fasta {
public:
    explicit Fasta(const Config& config);

    // Appends the records of the file. False when the path is not a readable regular file or a
    // read fails (nothing logged; the caller reports), or on a format error (logged at ERROR).
    // Records read before a failure stay.
    bool read(const std::filesystem::path& path);

    // 1 when some control is of class LQC, else 0.
    int get_num_control_classes() const;

    std::vector<FastaAdapter> adapters;
    std::vector<FastaControl> controls; // a control's position is its control index
    const Config& config;
};
