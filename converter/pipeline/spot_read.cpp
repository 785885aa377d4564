#include "converter/pipeline/spot_read.h"

void SpotRead::init(int length, const unsigned char* calls, short x_, short y_)
{
    x = x_;
    y = y_;
    adapter = 0;
    far_secondary = 0;
    control = 0;
    partial = 0;
    control_index = -1;
    // The slot held another spot's read in an earlier tile; the control stage writes the
    // cigar only for reads that align, and later stages read it for every read of a
    // control spot, so it must not carry that read's alignment.
    cigar.clear();
    cigar_start = 0;
    seq.resize(length);
    seq.pack_sequence(calls);
    int n = seq.length;
    while (n > 0 && seq.qual[static_cast<std::size_t>(n - 1)] == 0)
        --n;
    seq.length = n;
}
