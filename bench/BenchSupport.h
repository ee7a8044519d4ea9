// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tarvo::bench {

// Resident memory of this process, in bytes.
std::int64_t residentBytes();
// Forgets the peak so far (Linux clear_refs) and returns the peak since the last reset.
void resetPeakResident();
std::int64_t peakResidentBytes();

// Runs a command directly (no shell) with standard output to /dev/null and waits for it.
int runToDevNull(const std::vector<std::string>& argv);

// Runs a command directly with standard output to a new or emptied file and waits for it.
int runToFile(const std::vector<std::string>& argv, const std::filesystem::path& output);
// Runs `producer | consumer > /dev/null` (no shell) and waits for both.
void runPipelineToDevNull(const std::vector<std::string>& producer, const std::vector<std::string>& consumer);

// A console reporter that also remembers each benchmark's real time per iteration.
class RecordingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override;
    double realTime(const std::string& name) const;

private:
    std::map<std::string, double> m_times;
};

std::filesystem::path scratchDirectory();
// Points TARVO_LISTER, unless set, at the tarvo-lister of this build tree (one folder above the
// benchmarks).
inline void useBuiltLister()
{
    const auto lister = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "tarvo-lister";
    if (std::getenv("TARVO_LISTER") == nullptr && std::filesystem::exists(lister)) {
        setenv("TARVO_LISTER", lister.c_str(), 1);
    }
}

} // namespace tarvo::bench
