#pragma once
// Reports for many records as one job on the printer, a page per report.
#include <vector>

#include "render/batch.h"

class QPrinter;

namespace Batch {

// All reports as one job on the printer (a page per report).
Result Print(const std::vector<ReportRecord>& reports, QPrinter& printer, const Progress& progress,
             const std::vector<QString>& hashes = {});

}  // namespace Batch
