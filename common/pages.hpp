// Where an array's pages lie: the NUMA node of each page, as the kernel reports it, against the
// node of the thread that reads them.
#pragma once

// The NUMA node the calling thread runs on at the moment of the call, or -1.
int node_of_this_thread();

// The percentage of the pages that hold [begin, end) lying on NODE, as move_pages(2) with no
// target nodes reports them (a page not yet placed counts as elsewhere); -1 where the kernel
// cannot say (no NUMA support).
double percent_of_pages_on(const double* begin, const double* end, int node);
