// SPDX-License-Identifier: GPL-3.0-or-later
// A private folder for the files a harness hands to the code under test,
// made once per process and removed when it exits.
#ifndef KORVANE_TESTS_FUZZ_SCRATCH_H
#define KORVANE_TESTS_FUZZ_SCRATCH_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

const std::string& ScratchFolder();

// Writes `bytes` to `name` in the scratch folder, replacing what was there;
// its path.
std::string WriteScratch(const std::string& name, const std::string& bytes);

// Makes `name` a sparse file of `size` bytes whose first bytes are `head`.
std::string SparseScratch(const std::string& name, int64_t size, const std::string& head);

// Removes every file in the scratch folder.
void ClearScratch();

}  // namespace fuzz

#endif
