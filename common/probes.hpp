// Where a program runs: the processor of the calling thread and fields of /proc/self/stat.
#pragma once

// The logical processor the calling thread runs on at the moment of the call, or -1.
int get_cpu_id();

// Field number `field` (from 1) of the line in /proc/self/stat, split at spaces, read as a
// base-10 integer into *value. Returns 0, or -1 (with *value = 0) when the file cannot be read
// or the line has no such field.
int read_proc__self_stat(int field, int* value);

// "thread %2d is running on core %2d\n" for the calling thread, printed inside the program's
// unnamed critical section with the processor probed while the section is held.
void print_placement_line(int thread);
