#pragma once
// The controls FASTA of a synthetic run: control-library sequences of the kept classes
// ("Undefined", with and without a class tag, and "LQC") and of dropped classes ("SQC", "EPC",
// "ENC"), interleaved, plus the adapters ("adapter_R1" first, "adapter_R2" last when the run has
// an R2 read). Every record has exactly one sequence line. Sequences are random, so reads cut
// from one control match no other control and no adapter.
#include <cstdint>
#include <string>
#include <vector>

namespace runsim {

inline constexpr char Control_class_tag[] = "|ControlClass:";

struct ControlRecord {
    std::string name;          // header text before the class tag
    std::string class_name;    // "Undefined", "LQC", "SQC", "EPC" or "ENC"
    bool class_tagged = false; // the header carries the class tag (an untagged control is Undefined)
    bool kept = false;         // of a class that the converter keeps
    int kept_index = -1;       // position among the kept controls in file order, -1 when dropped
    std::string sequence;
};

struct AdapterRecord {
    std::string name;
    std::string sequence;
};

class ControlLibrary {
public:
    ControlLibrary() = default;
    // kept and dropped controls of control_length bases, adapters of adapter_length bases.
    ControlLibrary(int kept, int dropped, int control_length, int adapter_length, bool r2_adapter, std::uint64_t seed);

    std::vector<ControlRecord> controls; // in file order, without the adapters
    std::vector<AdapterRecord> adapters; // in file order

    // The FASTA text: "adapter_R1", the controls, "adapter_R2".
    std::string fasta_text() const;

    // The FASTA header line of a control, without '>'.
    static std::string header(const ControlRecord& control);
};

// The reverse complement of a text of the letters A, C, G, T.
std::string reverse_complement(const std::string& bases);

} // namespace runsim
