// Legacy sample sheet loading and the validation of the classic sheet data.
#include "classic/processing/create_fastq.h"

void CreateFastq::load_sample_sheet_old() {}
