#pragma once
// CycleMask: the parsed form of one cycle mask, produced by
// QuillonSettings::read_cycle_mask. A value of -1 stands for '*' (the rest of the track); at most
// one field is -1. An empty mask gives all four fields 0.

struct CycleMask {
    int track = 0;       // track number, 1 to 4 (0 for an empty mask)
    int skip_before = 0; // cycles skipped before the used cycles
    int use = 0;         // cycles used
    int skip_after = 0;  // cycles skipped after the used cycles

    friend bool operator==(const CycleMask&, const CycleMask&) = default;
};
