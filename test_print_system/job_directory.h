#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvella::testing {

// The layout of a simulated printer's job directory: job-000001.bin,
// job-000002.bin, ..., each the bytes of one connection, appearing under
// that name (by rename) only once complete.

// The file name of job `number`.
std::string JobFileName(uint64_t number);

// The numbers of the complete jobs in `directory`, ascending; none when it
// cannot be read.
std::vector<uint64_t> JobNumbers(const std::string& directory);

}  // namespace corvella::testing
