#include "tools/runsim/manifest_writer.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

namespace runsim {
namespace {

std::string quote(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                out += escape;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string number(std::uint64_t value)
{
    return std::to_string(value);
}

std::string boolean(bool value)
{
    return value ? "true" : "false";
}

// The path relative to the run folder when it lies inside it.
std::string path_text(const RunTruth& run, const std::filesystem::path& path)
{
    if (path.empty())
        return "null";
    const std::filesystem::path relative = path.lexically_relative(run.run_folder);
    if (!relative.empty() && *relative.begin() != "..")
        return quote(relative.generic_string());
    return quote(path.generic_string());
}

std::string counts_text(const RunTruth& run, const TileCounts& counts)
{
    std::string text =
        "{\"spots\":" + number(counts.spots) + ",\"exact\":" + number(counts.exact) +
        ",\"one_mismatch\":" + number(counts.one_mismatch) + ",\"two_mismatches\":" + number(counts.two_mismatches) +
        ",\"undetermined\":" + number(counts.undetermined) + ",\"control_spots\":" + number(counts.control_spots) +
        ",\"kept_control_spots\":" + number(counts.kept_control_spots) +
        ",\"adapter_reads\":" + number(counts.adapter_reads) + ",\"no_calls\":" + number(counts.no_calls) +
        ",\"trailing_no_call_reads\":" + number(counts.trailing_no_call_reads) +
        ",\"odd_positions\":" + number(counts.odd_positions) + ",\"per_sample\":{";
    bool first = true;
    for (std::size_t i = 0; i < counts.per_sample.size(); ++i) {
        if (counts.per_sample[i] == 0)
            continue;
        text += (first ? "" : ",") + quote(run.samples[i].name + "@L" + std::to_string(run.samples[i].lane)) + ":" +
                number(counts.per_sample[i]);
        first = false;
    }
    return text + "}}";
}

std::string spot_text(const RunTruth& run, std::size_t index, const SpotTruth& spot)
{
    std::string text =
        "{\"spot\":" + number(index) + ",\"x\":" + std::to_string(spot.x) + ",\"y\":" + std::to_string(spot.y) +
        ",\"sample\":" + (spot.sample >= 0 ? quote(run.samples[std::size_t(spot.sample)].name) : "null") +
        ",\"origin\":" + quote(index_origin_name(spot.index_origin)) +
        ",\"i1_substitutions\":" + std::to_string(spot.i1_substitutions) +
        ",\"i2_substitutions\":" + std::to_string(spot.i2_substitutions) + ",\"index1\":" + quote(spot.index1) +
        ",\"index2\":" + quote(spot.index2) +
        ",\"control\":" + (spot.control >= 0 ? quote(run.library.controls[std::size_t(spot.control)].name) : "null") +
        ",\"umi1\":" + quote(spot.umi1) + ",\"umi2\":" + quote(spot.umi2) + ",\"reads\":[";
    for (std::size_t r = 0; r < run.recipe.layout.reads.size(); ++r) {
        const ReadTruth& read = spot.reads[r];
        text += (r ? ",{" : "{");
        text += "\"no_calls\":" + std::to_string(read.no_calls) +
                ",\"trailing_no_calls\":" + std::to_string(read.trailing_no_calls);
        if (read.adapter >= 0)
            text += ",\"adapter\":" + quote(run.library.adapters[std::size_t(read.adapter)].name) +
                    ",\"adapter_start\":" + std::to_string(read.adapter_start);
        if (read.control_offset >= 0)
            text += ",\"control_offset\":" + std::to_string(read.control_offset) +
                    ",\"control_reverse\":" + boolean(read.control_reverse) +
                    ",\"control_substitutions\":" + std::to_string(read.control_substitutions);
        if (read.chimera_offset >= 0)
            text += ",\"chimera_offset\":" + std::to_string(read.chimera_offset);
        text += "}";
    }
    return text + "]}";
}

class JsonFile {
public:
    explicit JsonFile(const std::filesystem::path& path) : path_(path), out_(path, std::ios::binary | std::ios::trunc)
    {
        if (!out_)
            throw std::runtime_error("cannot create " + path.string());
    }
    JsonFile& operator<<(const std::string& text)
    {
        out_ << text;
        return *this;
    }
    std::uint64_t close()
    {
        const auto size = static_cast<std::uint64_t>(out_.tellp());
        out_.close();
        if (!out_)
            throw std::runtime_error("cannot write " + path_.string());
        return size;
    }

private:
    std::filesystem::path path_;
    std::ofstream out_;
};

} // namespace

std::uint64_t write_manifest(const RunTruth& run, const std::filesystem::path& path)
{
    const RunRecipe& recipe = run.recipe;
    JsonFile out(path);
    out << "{\n\"generator\":\"quillon-runsim\",\n\"seed\":" + number(recipe.seed) + ",\n";
    out << "\"run_folder\":" + quote(run.run_folder.generic_string()) + ",\n";
    out << "\"run_folder_name\":" + quote(run.identity.run_folder_name()) + ",\n";
    out << "\"flowcell_id\":" + quote(run.identity.flowcell_id) + ",\n";
    out << "\"instrument_id\":" + quote(run.identity.instrument_id) + ",\n";
    out << "\"run_id\":" + quote(run.identity.run_id) + ",\n";
    out << "\"metadata_file\":" + path_text(run, run.metadata_file) + ",\n";
    out << "\"base_calls_folder\":" + boolean(recipe.base_calls_folder) + ",\n";
    out << "\"zel_subfolder\":" + boolean(recipe.zel_subfolder) + ",\n";
    if (recipe.read_folders) // only when set, so that the manifests of other runs stay as they were
        out << "\"read_folders\":true,\n";
    out << "\"storage\":" + quote(storage_name(recipe.zel.storage)) + ",\n";
    out << "\"version\":" + number(recipe.zel_version()) + ",\n";
    out << "\"member_text_size\":" + number(recipe.zel.member_text_size) + ",\n";
    out << "\"compression_level\":" + std::to_string(recipe.zel.level) + ",\n";
    out << "\"positions_type\":" + number(static_cast<std::uint64_t>(recipe.positions_type)) + ",\n";
    out << "\"i1_mismatches\":" + std::to_string(recipe.i1_mismatches) + ",\n";
    out << "\"i2_mismatches\":" + std::to_string(recipe.i2_mismatches) + ",\n";
    out << "\"any_mismatch_settings\":" + boolean(run.any_mismatch_settings) + ",\n";

    out << "\"reads\":[";
    for (std::size_t r = 0; r < recipe.layout.reads.size(); ++r) {
        const ReadSpec& read = recipe.layout.reads[r];
        out << std::string(r ? "," : "") + "{\"read\":" + number(r + 1) + ",\"role\":" + quote(role_name(read.role)) +
                   ",\"cycles\":" + std::to_string(read.cycles) +
                   ",\"extra_cycles\":" + std::to_string(read.extra_cycles) +
                   ",\"index_read\":" + boolean(recipe.layout.is_index_read(int(r) + 1)) +
                   ",\"mask\":" + quote(recipe.layout.mask(read.role)) + "}";
    }
    out << "],\n\"umis\":[";
    for (std::size_t u = 0; u < recipe.layout.umis.size(); ++u) {
        const UmiSpec& umi = recipe.layout.umis[u];
        out << std::string(u ? "," : "") + "{\"role\":" + quote(role_name(umi.role)) +
                   ",\"read\":" + std::to_string(umi.read) + ",\"first\":" + std::to_string(umi.first) +
                   ",\"length\":" + std::to_string(umi.length) + ",\"mask\":" + quote(recipe.layout.mask(umi.role)) +
                   "}";
    }
    out << "],\n\"files\":{\"design_sheet\":" + path_text(run, run.design_sheet) +
               ",\"sample_sheet\":" + path_text(run, run.sample_sheet) +
               ",\"legacy_sample_sheet\":" + path_text(run, run.legacy_sample_sheet) +
               ",\"controls\":" + path_text(run, run.controls_file) + "},\n";

    out << "\"samples\":[";
    for (std::size_t i = 0; i < run.samples.size(); ++i) {
        const SampleTruth& s = run.samples[i];
        out << std::string(i ? ",\n  " : "\n  ") + "{\"lane\":" + std::to_string(s.lane) +
                   ",\"lane_position\":" + std::to_string(s.lane_position) + ",\"name\":" + quote(s.name) +
                   ",\"index\":" + quote(s.index) + ",\"index2\":" + quote(s.index2) + "}";
    }
    out << "],\n\"controls\":[";
    for (std::size_t i = 0; i < run.library.controls.size(); ++i) {
        const ControlRecord& c = run.library.controls[i];
        out << std::string(i ? ",\n  " : "\n  ") + "{\"name\":" + quote(c.name) + ",\"class\":" + quote(c.class_name) +
                   ",\"kept\":" + boolean(c.kept) + ",\"kept_index\":" + std::to_string(c.kept_index) +
                   ",\"sequence\":" + quote(c.sequence) + "}";
    }
    out << "],\n\"adapters\":[";
    for (std::size_t i = 0; i < run.library.adapters.size(); ++i)
        out << std::string(i ? "," : "") + "{\"name\":" + quote(run.library.adapters[i].name) +
                   ",\"sequence\":" + quote(run.library.adapters[i].sequence) + "}";
    out << "],\n\"totals\":" + counts_text(run, run.totals) + ",\n";
    out << "\"call_bytes\":" + number(run.call_bytes) + ",\n";

    out << "\"lanes\":[";
    for (std::size_t l = 0; l < run.lanes.size(); ++l) {
        out << std::string(l ? ",\n" : "\n") + "{\"lane\":" + number(l + 1) + ",\"tiles\":[";
        for (std::size_t t = 0; t < run.lanes[l].size(); ++t) {
            const TileTruth& tile = run.lanes[l][t];
            std::string text = std::string(t ? ",\n" : "\n") + "{\"name\":" + quote(tile.name) +
                               ",\"surface\":" + std::to_string(tile.surface) +
                               ",\"tile\":" + std::to_string(tile.tile) + ",\"folder\":" + path_text(run, tile.folder) +
                               ",\"spots\":" + number(tile.spots) + ",\"zel_files\":[";
            for (std::size_t r = 0; r < tile.zel_files.size(); ++r)
                text += (r ? "," : "") + path_text(run, tile.zel_files[r]);
            text += "],\"positions_files\":[";
            for (std::size_t r = 0; r < tile.positions_files.size(); ++r)
                text += (r ? "," : "") + path_text(run, tile.positions_files[r]);
            text += "],\n \"counts\":" + counts_text(run, tile.counts);
            if (recipe.spot_truth) {
                text += ",\n \"spot_truth\":[";
                for (std::size_t s = 0; s < tile.spot_truth.size(); ++s) {
                    text += (s ? ",\n  " : "\n  ") + spot_text(run, s, tile.spot_truth[s]);
                    if (text.size() > (1u << 20)) {
                        out << text;
                        text.clear();
                    }
                }
                text += "]";
            }
            out << text + "}";
        }
        out << "]}";
    }
    out << "]\n}\n";
    return out.close();
}

} // namespace runsim
