#pragma once
// Converts one lane: builds its tile loader, FASTQ writer, sample finder and tile processor,
// processes the lane's tiles in order on the calling thread, always shuts the loader and
// writer down, and writes the lane's metrics when every tile succeeded.
class AdapterFinder;
class Config;
class ControlsManager;
class MetricsManager;
class TimerManager;

struct LaneProcessor {
    Config& config;
    ControlsManager& controls;
    AdapterFinder& adapters;
    MetricsManager& metrics;
    TimerManager& timers;

    // True when every tile of the lane was converted and written; tiles_processed grows by
    // one for each tile that completed.
    bool process_lane(int lane, int& tiles_processed);
};
