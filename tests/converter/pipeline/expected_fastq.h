#pragma once
// The FASTQ files that quillon must write for a generated run, computed from the generator's
// truth alone (RunRecipe::keep_calls and spot truth on).
//
// The runs of the end-to-end tests give the analysis stages nothing to find: no controls file
// and index reads that match no sample, so every spot goes to the undetermined file of its
// read. Sample files (and the control file, when asked for) are opened and stay empty.
#include "tools/runsim/read_layout.h"
#include "tools/runsim/run_truth.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace expected_fastq {

// One tile as a lane of the converter goes through it: whose spots, and the surface and tile
// numbers its records carry (copies made by --repeat carry their own tile number).
struct TileVisit {
    const runsim::TileTruth* tile = nullptr;
    int surface = 0;
    int number = 0;
};
// The tiles of each lane in the order they are converted, [lane - 1].
using LaneOrder = std::vector<std::vector<TileVisit>>;

struct Settings {
    bool roles = true;        // the sheets give the cycle usages of the read roles
    bool index_reads = false; // OutputIndexFASTQ
    bool control_file = true; // OutputControlFASTQ
    bool compressed = true;   // no --uncompressed
    bool merged = false;      // MergeLanes: the lanes' files joined, named without the lane
};

struct ExpectedFile {
    int lane = 0;
    std::vector<std::string> tiles; // the records of each visit of the lane, in order

    std::string text() const
    {
        std::string all;
        for (const std::string& tile : tiles)
            all += tile;
        return all;
    }
};

// Lanes in number order, each lane's tiles by surface and tile number.
inline LaneOrder sorted_order(const runsim::RunTruth& run)
{
    LaneOrder order;
    for (const std::vector<runsim::TileTruth>& lane : run.lanes) {
        std::vector<TileVisit> visits;
        for (const runsim::TileTruth& tile : lane)
            visits.push_back({&tile, tile.surface, tile.tile});
        std::sort(visits.begin(), visits.end(), [](const TileVisit& a, const TileVisit& b) {
            return a.surface != b.surface ? a.surface < b.surface : a.number < b.number;
        });
        order.push_back(std::move(visits));
    }
    return order;
}

// "Read1", "Index1", ... by the layout's roles, "R" and the number without roles.
inline std::string read_label(const runsim::ReadLayout& layout, int read, bool roles)
{
    if (roles) {
        switch (layout.reads[std::size_t(read - 1)].role) {
        case runsim::ReadRole::I1:
            return "Index1";
        case runsim::ReadRole::I2:
            return "Index2";
        case runsim::ReadRole::R1:
            return "Read1";
        case runsim::ReadRole::R2:
            return "Read2";
        default:
            break;
        }
    }
    return "R" + std::to_string(read);
}

// The Read1 and Read2 reads, the index reads with OutputIndexFASTQ, every read without roles.
inline bool is_written(const runsim::ReadLayout& layout, int read, const Settings& settings)
{
    const runsim::ReadRole role = layout.reads[std::size_t(read - 1)].role;
    return !settings.roles || settings.index_reads || role == runsim::ReadRole::R1 || role == runsim::ReadRole::R2;
}

// The FASTQ record of one read of one spot; calls is the spot's record in the base-call file.
inline std::string record(const runsim::RunIdentity& id, int lane, const TileVisit& visit,
                          const runsim::SpotTruth& spot, int read, const unsigned char* calls, int used)
{
    char tag[16];
    std::snprintf(tag, sizeof tag, "%02d%03d", visit.surface, visit.number);
    std::string text = "@" + id.instrument_id + ":" + id.run_id + ":" + id.flowcell_id + ":" + std::to_string(lane) +
                       ":" + tag + ":" + std::to_string(static_cast<std::int16_t>(spot.x)) + ":" +
                       std::to_string(static_cast<std::int16_t>(spot.y)) + " " + std::to_string(read) + ":N:0\n";
    int length = used;
    while (length > 0 && (calls[length - 1] >> 2) == 0)
        --length; // trailing no-calls are not written
    std::string bases;
    std::string qualities;
    for (int c = 0; c < length; ++c) {
        const int quality = calls[c] >> 2;
        bases += quality == 0 ? 'N' : "ACGT"[calls[c] & 3];
        qualities += static_cast<char>(quality + 33);
    }
    if (length == 0) {
        bases = "N";
        qualities = "!";
    }
    return text + bases + "\n+\n" + qualities + "\n";
}

inline std::string file_name(const runsim::RunTruth& run, int lane, const std::string& label, const std::string& rest,
                             const Settings& settings)
{
    char lane_part[16];
    std::snprintf(lane_part, sizeof lane_part, "_L%02d_", lane);
    return run.identity.flowcell_id + (settings.merged ? "_" : lane_part) + label + rest +
           (settings.compressed ? ".fastq.gz" : ".fastq");
}

// Every FASTQ file of the run by name.
inline std::map<std::string, ExpectedFile> expected_files(const runsim::RunTruth& run, const LaneOrder& lanes,
                                                          const Settings& settings)
{
    const runsim::ReadLayout& layout = run.recipe.layout;
    const int lane_count = static_cast<int>(lanes.size());
    std::vector<std::vector<std::string>> samples(lanes.size());
    if (!run.sample_sheet.empty())
        for (const runsim::SampleTruth& sample : run.samples)
            if (sample.lane >= 1 && sample.lane <= lane_count)
                samples[std::size_t(sample.lane - 1)].push_back(sample.name);
    bool any_samples = false;
    for (const std::vector<std::string>& names : samples)
        any_samples = any_samples || !names.empty();

    std::map<std::string, ExpectedFile> files;
    for (int lane = 1; lane <= lane_count; ++lane) {
        const std::vector<TileVisit>& visits = lanes[std::size_t(lane - 1)];
        for (int read = 1; read <= static_cast<int>(layout.reads.size()); ++read) {
            if (!is_written(layout, read, settings))
                continue;
            const runsim::ReadSpec& read_spec = layout.reads[std::size_t(read - 1)];
            const std::string label = read_label(layout, read, settings.roles);
            ExpectedFile undetermined{lane, {}};
            for (const TileVisit& visit : visits) {
                std::string text;
                const std::vector<unsigned char>& calls = visit.tile->calls[std::size_t(read - 1)];
                for (std::size_t s = 0; s < visit.tile->spot_truth.size(); ++s)
                    text += record(run.identity, lane, visit, visit.tile->spot_truth[s], read,
                                   calls.data() + s * std::size_t(read_spec.header_cycles()), read_spec.cycles);
                undetermined.tiles.push_back(std::move(text));
            }
            const std::string undetermined_rest = any_samples ? "_Sample_Library_Undetermined" : "_Sample_Library";
            // Merged lanes extend the files of the lanes before; lane is the last lane's.
            ExpectedFile& file = files[file_name(run, lane, label, undetermined_rest, settings)];
            file.lane = lane;
            file.tiles.insert(file.tiles.end(), undetermined.tiles.begin(), undetermined.tiles.end());
            for (const std::string& name : samples[std::size_t(lane - 1)])
                files[file_name(run, lane, label, "_Sample_Library_" + name, settings)].lane = lane;
            if (settings.control_file)
                files[file_name(run, lane, label, "_Control_Library", settings)].lane = lane;
        }
    }
    return files;
}

} // namespace expected_fastq
