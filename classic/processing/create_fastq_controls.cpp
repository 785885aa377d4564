// Control detection: the controls FASTA, its k-mer tables and the per-read queries.
#include "classic/processing/create_fastq.h"

#include "classic/framework/memory_limit.h"
#include "classic/framework/profiler.h"
#include "classic/framework/utilities.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

namespace {

constexpr const char* Class_tag = "|ControlClass:";
constexpr std::string_view Variant_letters = "AGCTN";
constexpr std::uint64_t Control_key_length = 30;
constexpr std::uint64_t Chimera_key_length = 18;
constexpr std::uint64_t Window_step = 10;     // cycles between two windows of a read
constexpr std::int64_t Window_drift = 5;      // a window this far off the key's diagonal still agrees
constexpr std::uint64_t Adapter_prefix = 11;  // first letters of an adapter compared with a read's end
constexpr std::uint64_t Adapter_distance = 6; // a read's end closer than this holds the adapter

bool names_adapter(const std::string& name)
{
    return name.find("adapter") != std::string::npos;
}

// The class a record's name gives: the text after the class tag, else "Undefined".
std::string class_of(const std::string& name)
{
    const auto tag = name.find(Class_tag);
    return tag == std::string::npos ? "Undefined" : name.substr(tag + std::strlen(Class_tag));
}

bool is_dropped_class(const std::string& class_name)
{
    return class_name == "ENC" || class_name == "EPC" || class_name == "SQC";
}

// The memory that one strand of a record takes in both key tables: every one-letter variant of
// each k-mer but the last is entered, packed unless the k-mer holds a letter other than A, C,
// G, T and N.
std::uint64_t key_tables_bytes(const std::string& sequence)
{
    std::uint64_t bytes = 0;
    for (const std::uint64_t k : {Control_key_length, Chimera_key_length}) {
        if (sequence.size() <= k)
            continue;
        const std::uint64_t starts = sequence.size() - k;
        std::uint64_t unpacked = 0; // starts whose k-mer holds another letter
        std::uint64_t others = 0;   // other letters in the current k-mer
        for (std::uint64_t i = 0; i + 1 < sequence.size(); ++i) {
            others += Variant_letters.find(sequence[i]) == std::string_view::npos;
            if (i >= k)
                others -= Variant_letters.find(sequence[i - k]) == std::string_view::npos;
            if (i + 1 >= k && i + 1 - k < starts && others > 0)
                ++unpacked;
        }
        const std::uint64_t variants = 1 + 4 * k;
        bytes += KmerTable::estimated_bytes((starts - unpacked) * variants, unpacked * variants, starts);
    }
    return bytes;
}

// One decimal of a number of gigabytes.
std::string gigabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e9);
    return text;
}

// Whether test accepts the table entry of any window of the given length that starts at first,
// first + 10, ... inside the sequence.
template <typename Test>
bool any_window(const KmerTable& table, const std::string& sequence, std::uint64_t first, std::uint64_t length,
                Test test)
{
    const std::string_view text(sequence);
    for (std::uint64_t p = first; p + length <= text.size(); p += Window_step) {
        const KmerTable::Value* hit = table.find(text.substr(p, length));
        if (hit != nullptr && test(*hit, p))
            return true;
    }
    return false;
}

} // namespace

void CreateFastq::load_controls()
{
    AlgorithmFramework::Profiler profiler(*log, "load_controls");
    profiler.start();
    controls.clear();
    std::uint64_t longest = 0;
    if (!controls_file.empty()) {
        std::ifstream file(controls_file);
        if (!file)
            log_exception("Cannot open input file " + controls_file);
        std::string name;
        std::string sequence;
        // The key tables' memory is estimated from the records as they are read; once it passes
        // what the process may use, records are only measured, not kept, and nothing is built.
        const classic::MemoryLimit limit = classic::memory_limit();
        const std::uint64_t memory = limit.bytes;
        std::uint64_t estimate = 0;
        auto file_record = [&] {
            longest = std::max<std::uint64_t>(longest, sequence.size());
            if (name.empty() || sequence.empty() || is_dropped_class(class_of(name)))
                return;
            std::string other_strand = sequence;
            classic::reverse_complement(other_strand);
            estimate += key_tables_bytes(sequence) + key_tables_bytes(other_strand);
            if (memory == 0 || estimate <= memory)
                load_control(name, sequence);
        };
        for (std::string line; std::getline(file, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                continue;
            if (line.front() == '>') {
                file_record();
                name = line.substr(1);
                sequence.clear();
            } else {
                sequence += classic::trim(line);
            }
        }
        file_record();
        if (memory != 0 && estimate > memory)
            log_exception("The key tables of the controls file " + controls_file + " need an estimated " +
                          gigabytes(estimate) + " GB of memory, more than the " + gigabytes(memory) + " GB " +
                          limit.source);
    }
    control_key_length = Control_key_length;
    hash_sequences(controls, control_key_length, control_keys);
    chimera_key_length = Chimera_key_length;
    hash_sequences(controls, chimera_key_length, chimera_keys);
    log_status("load_controls fasta sequence count " + std::to_string(controls.size()) + " max sequence length " +
               std::to_string(longest));
    log_status("load_controls hash count " + std::to_string(control_keys.size()));
    log_status("load_controls chimera hash count " + std::to_string(chimera_keys.size()));
    profiler.stop();
}

void CreateFastq::load_control(std::string& name, std::string& sequence)
{
    if (name.empty() || sequence.empty())
        return;
    const std::string class_name = class_of(name);
    if (is_dropped_class(class_name))
        return;

    control_classes[class_name] = true;
    controls.push_back({name, class_name, sequence});
    if (names_adapter(name))
        adapters.push_back(sequence);
    // The other strand, as its own record.
    name += "_Minus";
    classic::reverse_complement(sequence);
    if (names_adapter(name))
        adapters.push_back(sequence);
    controls.push_back({name, class_name, sequence});
    name.clear();
}

void CreateFastq::hash_sequences(const std::vector<ControlRecord>& records, std::uint64_t k, KmerTable& table)
{
    table.clear();
    std::uint64_t starts = 0;
    for (const ControlRecord& record : records) {
        if (record.sequence.size() > k)
            starts += record.sequence.size() - k;
    }
    table.reserve(starts * (1 + 4 * k));

    // Every k-mer but the one that ends the sequence, and each of its one-letter variants, names
    // its record and start; where variants coincide the later k-mer wins.
    std::string kmer;
    for (std::uint64_t i = 0; i < records.size(); ++i) {
        const std::string& sequence = records[i].sequence;
        for (std::uint64_t p = 0; p + k < sequence.size(); ++p) {
            const KmerTable::Value value{i, p};
            kmer.assign(sequence, p, k);
            table.insert(kmer, value);
            for (std::uint64_t j = 0; j < k; ++j) {
                const char own = kmer[j];
                for (const char letter : Variant_letters) {
                    if (letter == own)
                        continue; // the k-mer itself, entered above
                    kmer[j] = letter;
                    table.insert(kmer, value);
                }
                kmer[j] = own;
            }
        }
    }
    table.finish();
}

std::string CreateFastq::get_control_key(const std::string& sequence, std::uint64_t& offset)
{
    const std::uint64_t k = control_key_length;
    const std::string_view text(sequence);
    offset = 0;
    while (offset < text.size() && text[offset] == 'N')
        ++offset;
    if (text.size() - offset < k)
        return {};
    // The key at the first called base, else the one right after it when the read is long enough.
    std::string key;
    if (control_keys.find(text.substr(offset, k)) != nullptr) {
        key = text.substr(offset, k);
    } else if (text.size() >= 2 * k) {
        offset = k;
        if (control_keys.find(text.substr(k, k)) != nullptr)
            key = text.substr(k, k);
    }
    if (!key.empty())
        is_adapter(key);
    return key;
}

bool CreateFastq::is_adapter(std::string& key)
{
    const KmerTable::Value* hit = control_keys.find(key);
    if (hit == nullptr || controls[hit->first].name.rfind("adapter", 0) != 0)
        return false;
    key.clear();
    return true;
}

bool CreateFastq::is_chimera(const std::string& sequence, const std::string& key, std::uint64_t, std::uint64_t errors)
{
    const KmerTable::Value* hit = key.empty() ? nullptr : control_keys.find(key);
    if (hit == nullptr || errors < control_key_length / 2)
        return false;
    const auto [record, key_start] = *hit;
    // A later part of the read that lies in another control, or off the key's diagonal.
    return any_window(chimera_keys, sequence, control_key_length - 1, chimera_key_length,
                      [record = record, key_start = key_start](const KmerTable::Value& window, std::uint64_t p) {
                          if (window.first != record)
                              return true;
                          const auto drift = static_cast<std::int64_t>(window.second) - static_cast<std::int64_t>(p) -
                                             static_cast<std::int64_t>(key_start);
                          return drift < -Window_drift || drift > Window_drift;
                      });
}

bool CreateFastq::is_right_adapter(const std::string& sequence, const std::string& key, std::uint64_t, std::uint64_t,
                                   std::vector<std::uint64_t>& scratch)
{
    const KmerTable::Value* hit = key.empty() ? nullptr : control_keys.find(key);
    if (hit == nullptr)
        return false;
    const std::uint64_t record = hit->first;
    if (any_window(chimera_keys, sequence, control_key_length - 1, chimera_key_length,
                   [this, record](const KmerTable::Value& window, std::uint64_t) {
                       return window.first != record && names_adapter(controls[window.first].name);
                   }))
        return true;
    if (sequence.size() < chimera_key_length)
        return false;
    // The read's last letters against the start of each adapter.
    const char* end = sequence.data() + sequence.size() - chimera_key_length;
    return std::any_of(adapters.begin(), adapters.end(), [&](const std::string& adapter) {
        return !adapter.empty() && classic::LevenshteinDistance(end, chimera_key_length, adapter.data(),
                                                                std::min<std::uint64_t>(adapter.size(), Adapter_prefix),
                                                                scratch) < Adapter_distance;
    });
}

bool CreateFastq::is_indel(const std::string& sequence, const std::string& key, std::uint64_t, std::uint64_t errors,
                           std::vector<std::uint64_t>& scratch)
{
    const KmerTable::Value* hit = key.empty() ? nullptr : control_keys.find(key);
    if (hit == nullptr)
        return false;
    const std::string& control = controls[hit->first].sequence;
    const std::uint64_t start = std::min<std::uint64_t>(hit->second, control.size());
    const std::uint64_t length = std::min<std::uint64_t>(control.size() - start, sequence.size());
    return classic::LevenshteinDistance(sequence.data(), sequence.size(), control.data() + start, length, scratch) <
           errors;
}

std::uint64_t CreateFastq::calculate_error(const std::string& read, std::uint64_t read_start, std::uint64_t read_limit,
                                           const std::string& control, std::uint64_t control_start,
                                           std::uint64_t control_limit)
{
    std::uint64_t errors = 0;
    for (std::uint64_t r = read_start, c = control_start;
         r < read.size() && r < read_limit && c < control.size() && c < control_limit && !is_text_end(read[r]);
         ++r, ++c) {
        if (read[r] != 'N' && read[r] != control[c])
            ++errors;
    }
    return errors;
}

void CreateFastq::calculate_error(std::uint64_t cycles, TileData& tile, std::uint64_t read_index)
{
    const ZelData& data = tile.zel_data[read_index];
    ReadData& read = tile.read_data[read_index];
    const std::uint64_t n = std::min({cycles, data.bases.cols(), data.quals.cols()});
    std::string sequence;
    for (const std::uint64_t spot : read.clean_control_spots) {
        if (spot >= data.bases.rows() || spot >= data.quals.rows())
            continue;
        const char* bases = data.bases.row(spot);
        sequence.clear();
        for (std::uint64_t c = 0; c < n && !is_text_end(bases[c]); ++c)
            sequence += bases[c];
        std::uint64_t offset = 0;
        const std::string key = get_control_key(sequence, offset);
        if (key.empty())
            continue;
        const KmerTable::Value* hit = control_keys.find(key);
        const ControlRecord& control = controls[hit->first];
        auto& by_class = read.counts.quality_errors_by_class[control.class_name];
        // Per quality: called bases compared with the control from the key on, and those that agree.
        for (std::uint64_t r = offset, c = hit->second; r < sequence.size() && c < control.sequence.size(); ++r, ++c) {
            if (sequence[r] == 'N')
                continue;
            const unsigned char quality = data.quals(spot, r);
            const std::uint64_t agrees = sequence[r] == control.sequence[c] ? 1 : 0;
            for (auto* errors : {&read.counts.quality_errors, &by_class}) {
                auto& [matching, observed] = (*errors)[quality];
                matching += agrees;
                ++observed;
            }
        }
    }
}
