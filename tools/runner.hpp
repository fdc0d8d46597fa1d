// Runs a plan: every case once per round, interleaved, so that drift hits every case alike.
#pragma once

#include <string>
#include <vector>

#include "tools/run_plan.hpp"

// The measured runs of the plan, each read and validated; failures are told on standard error
// with the run's output and counted.
std::vector<run_record> run_plan_rounds(const run_plan& plan, const std::string& bin, int& failures);
