#include "converter/analysis/fasta.h"

#include "common/csv_text.h"
#include "converter/app/config.h"
#include "converter/app/logger.h"

#include <algorithm>
#include <fstream>
#include <string_view>
#include <system_error>

namespace {

bool is_adapter_name(std::string_view name)
{
    return std::any_of(Adapter_prefixes.begin(), Adapter_prefixes.end(),
                       [name](std::string_view prefix) { return name.starts_with(prefix); });
}

void log_format_error(const std::filesystem::path& path, int line, const char* expecting)
{
    log_error() << path.string() << ":" << line << " Invalid file format; expecting " << expecting;
    log_flush();
}

} // namespace

FastaAdapter::FastaAdapter(std::string name_text, std::string sequence_text)
    : name(std::move(name_text)), sequence(std::move(sequence_text)), bases(sequence)
{
}

FastaControl::FastaControl(std::string name_text, std::string sequence_text,
                           std::pair<ControlClass, std::string> class_row, int w, int k)
    : name(std::move(name_text)), sequence(std::move(sequence_text)), control_class(std::move(class_row)),
      index(static_cast<int>(sequence.size()), w, k)
{
    if (sequence.empty())
        return;
    index.load(sequence, false);
    index.load(reverse_complement(sequence), false);
}

Fasta::Fasta(const Config& run_config) : config(run_config) {}

bool Fasta::read(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;

    int n = 1; // number of the line about to be read
    std::string line;
    while (std::getline(in, line)) {
        const std::string header = trim(line);
        if (header.empty()) {
            ++n;
            continue;
        }
        if (header.front() != '>') {
            log_format_error(path, n + 1, "'>'");
            return false;
        }
        if (!std::getline(in, line)) {
            if (in.bad())
                return false;
            log_format_error(path, n + 1, "sequence");
            return false;
        }
        std::string sequence = trim(line);
        n += 2;

        const std::string_view name = std::string_view(header).substr(1);
        if (is_adapter_name(name)) {
            adapters.emplace_back(std::string(name), std::move(sequence));
            continue;
        }

        std::string control_name(name);
        const auto* row = &Control_classes[0];
        const std::size_t marker = header.find(Control_class_marker);
        if (marker != std::string::npos) {
            control_name = header.substr(1, marker - 1);
            row = find_control_class(std::string_view(header).substr(marker + Control_class_marker.size()));
        }
        if (row == nullptr || static_cast<int>(row->first) > static_cast<int>(ControlClass::LQC))
            continue;
        controls.emplace_back(std::move(control_name), std::move(sequence),
                              std::pair<ControlClass, std::string>(row->first, row->second), config.minimizer_window,
                              config.k);
    }
    return !in.bad();
}

int Fasta::get_num_control_classes() const
{
    return std::any_of(controls.begin(), controls.end(),
                       [](const FastaControl& control) { return control.control_class.first == ControlClass::LQC; })
               ? 1
               : 0;
}
