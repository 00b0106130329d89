#include "MachineSetup.h"

#include "ApertiumEngine.h"
#include "Log.h"

namespace trd::server {

std::string machineCacheFile(const ServerOptions& options)
{
    if (!options.mtCache.empty())
        return options.mtCache;
    return options.db.empty() ? std::string() : options.db + ".mt";
}

std::unique_ptr<mt::MachineTranslation> machineTranslationFor(const ServerOptions& options)
{
    mt::MtSettings settings;
    settings.source = options.mtSource;
    settings.languages = options.mtLanguages;
    settings.limit = std::chrono::milliseconds(options.mtTimeoutMs);
    const std::string cache = machineCacheFile(options);
    logFormat(LogLevel::Info, "trd-server: tradução automática por %s (respostas guardadas em %s)",
              options.mtUrl.c_str(), cache.empty() ? "memória" : cache.c_str());
    return std::make_unique<mt::MachineTranslation>(std::make_unique<mt::ApertiumEngine>(options.mtUrl),
                                                    std::make_unique<mt::MtCache>(cache), std::move(settings));
}

} // namespace trd::server
