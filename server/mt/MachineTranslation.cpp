#include "MachineTranslation.h"

#include "MtProtection.h"
#include "RoutePlan.h"
#include "ServerError.h"

#include <map>

namespace trd::server::mt {

namespace {

// How long what the engine said of its pairs and versions is believed: a
// package installed on the engine's machine shows within this time.
constexpr auto PairsLife = std::chrono::seconds(60);
constexpr auto VersionsLife = std::chrono::minutes(10);

bool hasLetter(const QString& text)
{
    for (const QChar c : text)
        if (c.isLetter())
            return true;
    return false;
}

} // namespace

MachineTranslation::MachineTranslation(std::unique_ptr<Engine> engine, std::unique_ptr<MtCache> cache,
                                       MtSettings settings)
    : m_engine(std::move(engine)), m_cache(std::move(cache)), m_settings(std::move(settings))
{
}

void MachineTranslation::forget()
{
    std::lock_guard lock(m_mutex);
    m_pairs.clear();
    m_pairsRead = {};
    m_versions.clear();
}

const std::vector<Pair>& MachineTranslation::pairsLocked(std::unique_lock<std::mutex>& lock)
{
    const auto now = std::chrono::steady_clock::now();
    if (m_pairsRead != std::chrono::steady_clock::time_point{} && now - m_pairsRead < PairsLife)
        return m_pairs;
    lock.unlock();
    std::vector<Pair> read;
    try {
        read = m_engine->pairs(m_settings.limit);
    } catch (...) {
        lock.lock();
        throw;
    }
    lock.lock();
    m_pairs = std::move(read);
    m_pairsRead = now;
    return m_pairs;
}

MachineTranslation::Plan MachineTranslation::plan(const std::string& language)
{
    Plan p;
    p.code = engineLanguage(m_settings.languages, language);
    if (p.code.empty()) {
        p.problem = "o idioma " + language + " não tem código do motor (use --mt-language " + language + "=CODIGO)";
        return p;
    }
    std::unique_lock lock(m_mutex);
    p.route = planRoute(pairsLocked(lock), m_settings.source, p.code);
    if (!p.route)
        p.problem = "o motor não traduz de " + m_settings.source + " para " + p.code;
    return p;
}

std::string MachineTranslation::versionOf(const Route& route)
{
    const std::string key = route.text();
    {
        std::lock_guard lock(m_mutex);
        if (std::chrono::steady_clock::now() - m_versionsRead > VersionsLife)
            m_versions.clear();
        for (const auto& [r, v] : m_versions)
            if (r == key)
                return v;
    }
    const std::string version = m_engine->version(route, m_settings.limit);
    std::lock_guard lock(m_mutex);
    if (m_versions.empty())
        m_versionsRead = std::chrono::steady_clock::now();
    m_versions.emplace_back(key, version);
    return version;
}

std::vector<MachineTranslation::Answer> MachineTranslation::translate(const std::string& language,
                                                                      const std::vector<QString>& sources, Route& route)
{
    const Plan p = plan(language);
    if (!p.route)
        throw ServerError(ErrorKind::BadArgument,
                          "Sem tradução automática para o idioma " + language + ": " + p.problem + ".");
    route = *p.route;
    std::vector<Answer> answers(sources.size());
    try {
        const std::string version = versionOf(route);
        std::vector<ProtectedText> guarded;
        guarded.reserve(sources.size());
        // The texts the engine is to be asked, each once.
        std::map<std::string, std::string> engineAnswers;
        std::vector<std::string> ask;
        for (const QString& source : sources) {
            guarded.push_back(protect(source));
            const std::string& markup = guarded.back().markup;
            if (!hasLetter(source) || engineAnswers.count(markup))
                continue;
            MtCache::Key key{m_engine->name(), version, route.text(), markup};
            if (std::optional<std::string> hit = m_cache->find(key)) {
                engineAnswers.emplace(markup, std::move(*hit));
            } else {
                engineAnswers.emplace(markup, std::string());
                ask.push_back(markup);
            }
        }
        std::vector<std::pair<MtCache::Key, std::string>> fresh;
        for (std::size_t at = 0; at < ask.size(); at += m_settings.textsPerRequest) {
            const std::vector<std::string> piece(
                ask.begin() + static_cast<std::ptrdiff_t>(at),
                ask.begin() + static_cast<std::ptrdiff_t>(std::min(ask.size(), at + m_settings.textsPerRequest)));
            const std::vector<std::string> got = m_engine->translate(route, piece, m_settings.limitFor(piece.size()));
            for (std::size_t i = 0; i < piece.size() && i < got.size(); ++i) {
                engineAnswers[piece[i]] = got[i];
                fresh.push_back({{m_engine->name(), version, route.text(), piece[i]}, got[i]});
            }
        }
        m_cache->store(fresh);
        std::map<std::string, bool> askedNow;
        for (const std::string& a : ask)
            askedNow[a] = true;
        for (std::size_t i = 0; i < sources.size(); ++i) {
            if (!hasLetter(sources[i])) {
                answers[i].text = sources[i]; // nothing to translate: numbers, placeholders, blanks
                continue;
            }
            const Restored r = restore(sources[i], guarded[i], engineAnswers[guarded[i].markup]);
            answers[i].text = r.text;
            answers[i].problem = r.problem;
            answers[i].cached = !askedNow.count(guarded[i].markup);
        }
    } catch (const ServerError& e) {
        if (e.kind() == ErrorKind::Unavailable)
            forget(); // asked again from the start once the engine is back
        throw;
    }
    return answers;
}

} // namespace trd::server::mt
