#pragma once
#include <vector>

#include "archive/archiveentry.h"

namespace content {

// Every file the show loads from data.zip, in archive order.
std::vector<ArchiveEntry> MakeArchiveContents();

}  // namespace content
