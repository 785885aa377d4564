#include "converter/analysis/alignment_info.h"

void AlignmentInfo::clear()
{
    cigar.clear();
    ref_id = -1;
    query_start = -1;
    ref_start = -1;
    length = 0;
    distance = -1;
    coverage = 0;
    chains.clear();
    hits.clear();
}
