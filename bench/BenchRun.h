#pragma once

#include <filesystem>
#include <string>
#include <vector>

// What the benchmarks share: a child process timed with its peak memory, and medians.
namespace bench {

struct Run {
    double seconds = 0;
    long maxRssKb = 0;
};

// Runs a program in `dir` with `env` added (NAME=VALUE) and its standard output discarded, its standard
// error into `errPath` when given (else discarded); returns wall time and peak resident memory. A program
// that fails ends the benchmark.
Run run(const std::vector<std::string>& argv, const std::filesystem::path& dir,
        const std::vector<std::string>& env = {}, const std::filesystem::path& errPath = {});

double median(std::vector<double> v);

// An empty folder at `dir`, whatever stood there.
void fresh(const std::filesystem::path& dir);

} // namespace bench
