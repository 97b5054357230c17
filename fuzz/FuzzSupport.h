#pragma once
// Shared pieces of the fuzz programs: silent reports and a scratch folder per process.
#include <cstddef>
#include <cstdint>
#include <string>

namespace vx::fuzz {

// Installs a report handler that shows nothing and gives the default answers.
void SilenceReports();
// A folder of this process for the files a reader is given.
const std::string& ScratchFolder();
// Writes bytes to a file of the scratch folder and returns its path.
std::string WriteScratch(const std::string& name, const uint8_t* data, size_t size);

}  // namespace vx::fuzz
