#pragma once
// Converts one lane: builds its tile loader, FASTQ writer and tile processor, processes the
// lane's tiles in order on the calling thread and always shuts the loader and writer down.
class AdapterFinder;
class Config;
class ControlsManager;
class TimerManager;

struct LaneProcessor {
    Config& config;
    ControlsManager& controls;
    AdapterFinder& adapters;
    TimerManager& timers;

    // True when every tile of the lane was converted and written; tiles_processed grows by
    // one for each tile that completed.
    bool process_lane(int lane, int& tiles_processed);
};
