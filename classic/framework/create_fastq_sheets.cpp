// Design sheet and sectioned sample sheet loading.
#include "classic/processing/create_fastq.h"

void CreateFastq::load_quillon_sheet() {}

void CreateFastq::load_sample_sheet_new() {}
