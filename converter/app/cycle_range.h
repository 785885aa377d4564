#pragma once
// The cycles of one read of the run that form a read role (Read 1, Index 1, a UMI, ...).
struct CycleRange {
    int read = 0;  // 1-based read number of the run; 0 = not configured
    int first = 0; // first cycle, 1-based, inclusive
    int last = 0;  // last cycle, 1-based, inclusive
};
