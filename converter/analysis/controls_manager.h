#pragma once
// The control stage of a tile: every non-index read of every spot is aligned to every control
// of the controls FASTA, and the read is marked with the last control (in file order) that it
// aligns to. Spots are processed in parallel; each sub-range has its own aligners.
#include "converter/analysis/fasta.h"
#include "converter/pipeline/spot.h"

#include <vector>

class Config;

class ControlsManager {
public:
    ControlsManager(const Config& config, const Fasta& fasta);

    // Marks the control reads of all spots; returns when every spot is done.
    void process_spots(std::vector<Spot>& spots);
    // The work of the spots [begin, end).
    void process_spot_range(std::vector<Spot>& spots, int begin, int end);

    const Config& config;
    const Fasta& fasta;
};
