#pragma once
// The rows the history's benchmarks save: one component and source per row,
// and a destination of typical length that differs with every version.
#include <string>

namespace trd::bench::history {

inline std::string component(int i)
{
    return "cmp" + std::to_string(100000 + i);
}

inline std::string source(int i)
{
    return "Texto de origem da tela número " + std::to_string(i);
}

inline std::string text(int row, int version)
{
    return "Translated caption " + std::to_string(row) + " of the screen, version " + std::to_string(version);
}

} // namespace trd::bench::history
