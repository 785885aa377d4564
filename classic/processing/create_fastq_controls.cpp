// Control detection: the controls FASTA, its k-mer tables and the per-read queries.
#include "classic/processing/create_fastq.h"

void CreateFastq::load_controls() {}

std::string CreateFastq::get_control_key(const std::string&, std::uint64_t& offset)
{
    offset = 0;
    return {};
}

bool CreateFastq::is_chimera(const std::string&, const std::string&, std::uint64_t, std::uint64_t)
{
    return false;
}

bool CreateFastq::is_right_adapter(const std::string&, const std::string&, std::uint64_t, std::uint64_t,
                                   std::vector<std::uint64_t>&)
{
    return false;
}

bool CreateFastq::is_indel(const std::string&, const std::string&, std::uint64_t, std::uint64_t,
                           std::vector<std::uint64_t>&)
{
    return false;
}

std::uint64_t CreateFastq::calculate_error(const std::string&, std::uint64_t, std::uint64_t, const std::string&,
                                           std::uint64_t, std::uint64_t)
{
    return 0;
}

void CreateFastq::calculate_error(std::uint64_t, TileData&, std::uint64_t) {}
