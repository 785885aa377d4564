#include "tools/runsim/control_library.h"

#include "tools/runsim/index_picker.h"
#include "tools/runsim/prng.h"

#include <cstdio>

namespace runsim {

ControlLibrary::ControlLibrary(int kept, int dropped, int control_length, int adapter_length, bool r2_adapter,
                               std::uint64_t seed)
{
    static const char* const Dropped_classes[] = {"SQC", "EPC", "ENC"};
    Prng rng(derive_seed({seed, 0xC0471}));
    int kept_made = 0;
    int dropped_made = 0;
    // One dropped control after each kept control from the second on, the rest at the end.
    while (kept_made < kept || dropped_made < dropped) {
        const bool take_dropped = dropped_made < dropped && (kept_made == kept || dropped_made < kept_made - 1);
        ControlRecord control;
        char name[32];
        std::snprintf(name, sizeof name, "Ctl%02d", static_cast<int>(controls.size()) + 1);
        control.name = name;
        if (take_dropped) {
            control.class_name = Dropped_classes[dropped_made % 3];
            control.class_tagged = true;
            ++dropped_made;
        } else {
            // Undefined without a tag, LQC, Undefined with a tag, LQC, ...
            control.class_name = kept_made % 2 == 0 ? "Undefined" : "LQC";
            control.class_tagged = kept_made % 4 != 0;
            control.kept = true;
            control.kept_index = kept_made++;
        }
        control.sequence = IndexPicker::random_index(control_length, rng);
        controls.push_back(std::move(control));
    }
    adapters.push_back({"adapter_R1", IndexPicker::random_index(adapter_length, rng)});
    if (r2_adapter)
        adapters.push_back({"adapter_R2", IndexPicker::random_index(adapter_length, rng)});
}

std::string ControlLibrary::header(const ControlRecord& control)
{
    return control.class_tagged ? control.name + Control_class_tag + control.class_name : control.name;
}

std::string ControlLibrary::fasta_text() const
{
    std::string text;
    const auto add = [&text](const std::string& head, const std::string& sequence) {
        text += '>' + head + '\n' + sequence + '\n';
    };
    if (!adapters.empty())
        add(adapters.front().name, adapters.front().sequence);
    for (const ControlRecord& control : controls)
        add(header(control), control.sequence);
    for (std::size_t i = 1; i < adapters.size(); ++i)
        add(adapters[i].name, adapters[i].sequence);
    return text;
}

std::string reverse_complement(const std::string& bases)
{
    std::string out(bases.rbegin(), bases.rend());
    for (char& c : out) {
        switch (c) {
        case 'A':
            c = 'T';
            break;
        case 'C':
            c = 'G';
            break;
        case 'G':
            c = 'C';
            break;
        case 'T':
            c = 'A';
            break;
        default:
            c = 'N';
            break;
        }
    }
    return out;
}

} // namespace runsim
