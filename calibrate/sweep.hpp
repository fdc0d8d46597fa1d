// calibrate --sweep BYTES: the read bandwidth of working sets doubling from kSweepFirstBytes up to
// BYTES (and the 1.5x between), read over and over by one thread and then by the runtime's default
// team, each thread its block: where the bandwidth steps down, a cache level ends. What the
// machine says of its caches may be wrong (a virtual machine may report an L3 its host lacks);
// this is what reads there cost.
#pragma once

// Prints the team-size line and a line of kSweepLine per working set and team; returns the exit
// status (1 when the array cannot be had).
int sweep_reads(long long most_bytes);

// The array calibrate reads: N zeroed doubles, faulted in by the kernel at once; null after the
// memory message when they cannot be had. munmap() them with their bytes.
double* populated_array(long long n);
