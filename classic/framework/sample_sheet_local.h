#pragma once
// The classic program's own sheet data, filled from either sample sheet format: which track
// holds which read, the part of a track that forms the read, and the index, paired, adapter,
// UMI and sample rows.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct IndexRead {
    int read = 0;                 // track number
    std::string data_column_name; // "Index1" or "Index2"
    int position_start = 0;       // first cycle, 1-based
    int position_stop = 0;        // last cycle, inclusive
};

struct UmiRead {
    int read = 0;
    int position_start = 0;
    int position_stop = 0;
};

struct PairRead {
    int read = 0;
    std::string pair;
};

struct Adapter {
    std::string adapter_name;
    std::string sequence;
};

struct IndexData {
    int lane = 0; // 1-based
    std::string sample_id;
    std::string index1;
    std::string index2;
    std::string sample_project;
    std::string description;
};

class SampleSheetLocal {
public:
    virtual ~SampleSheetLocal() = default;

    std::map<std::uint64_t, std::string> track_names; // track -> "Read1", "Read2", "Index1", "Index2"
    std::map<std::uint64_t, std::pair<std::uint64_t, std::uint64_t>> cycle_windows; // track -> first, last
    std::string barcode;
    std::vector<IndexRead> index_reads;
    std::vector<PairRead> paired_reads;
    std::vector<Adapter> adapter_rows;
    std::vector<UmiRead> umi_reads;
    std::vector<IndexData> index_data;
};
