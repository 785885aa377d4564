// Metrics files: per lane and read the sample-library, tabled and control-library metrics, and
// the run's undetermined index frequencies.
#include "classic/processing/create_fastq.h"

void CreateFastq::output_metrics(LaneTable&) {}

void CreateFastq::frequency_metrics() {}
