// Large buffers: backed by transparent huge pages where the system offers them on request, so
// that filling one costs a page fault per 2 MiB rather than per 4 KiB and random access into
// it (the hash tables of the line operations) misses the TLB far less.
#pragma once

#include <cstddef>

namespace qx::os {

// Asks for huge pages for the whole 2 MiB pages within [p, p + n). Takes effect for pages not
// yet touched: call it on a fresh allocation before filling it. Does nothing where unsupported.
void adviseHugePages(const void* p, std::size_t n);

}  // namespace qx::os
