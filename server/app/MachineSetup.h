#pragma once
// The machine translation the options name: the engine's client, the file of
// its answers and the site's language codes.
#include "MachineTranslation.h"
#include "ServerOptions.h"

#include <memory>

namespace trd::server {

// The file of the engine's answers: --mt-cache, else beside the SQLite
// file; empty (kept in memory) for a PostgreSQL server given none.
std::string machineCacheFile(const ServerOptions& options);

std::unique_ptr<mt::MachineTranslation> machineTranslationFor(const ServerOptions& options);

} // namespace trd::server
