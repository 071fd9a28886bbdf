// Rows read on a thread of their own, a few batches ahead of the one who stores them: parsing a
// source file and inserting its rows take two cores.
#pragma once

#include <memory>

#include "platform/isam/driver.h"

namespace qx::isam {

// `rows` read ahead. For sources whose columns are fixed when they open (not typesKnownAtEnd):
// their columns() is taken once, and next() runs only on the reading thread.
std::unique_ptr<RowSource> readAhead(std::unique_ptr<RowSource> rows);

}  // namespace qx::isam
