#pragma once
// The benchmark's data set: languages of 200,000 rows each, with texts of
// screen-text length, about one in eight holding a W, written in key order.
#include "WriteCoordinator.h"

#include <string>

namespace trd::server::bench {

inline constexpr int Programs = 2000;
inline constexpr int ComponentsPerProgram = 100; // 200,000 rows per language

std::string languageCode(int index); // "L00", "L01", ...
std::string programCode(int index);
std::string componentName(int index);
std::string sourceText(int program, int component);
std::string destinationText(int language, int program, int component, int version = 0);

// Fills languages [0, languages) in one transaction; returns the rows written.
std::size_t fill(WriteCoordinator& writer, int languages);

} // namespace trd::server::bench
