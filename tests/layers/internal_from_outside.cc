// A library that links the download engine reaching into the engine's internal headers.
#include "download/internal/segment_table.h"
