#include "ReleaseSummary.h"

#include <cmath>
#include <map>
#include <unordered_map>

namespace trd::server::release {

std::string thousands(std::size_t n)
{
    std::string digits = std::to_string(n);
    for (std::size_t i = digits.size(); i > 3; i -= 3)
        digits.insert(i - 3, 1, '.');
    return digits;
}

std::string percentText(double percent)
{
    const auto hundredths = static_cast<long long>(std::llround(percent * 100));
    std::string cents = std::to_string(hundredths % 100);
    return std::to_string(hundredths / 100) + "," + (cents.size() < 2 ? "0" + cents : cents);
}

LanguageSummary summarize(const std::string& language, const LanguagePlan& plan, const ReleaseIndex& release,
                          const std::vector<LanguageRow>& rows, const GuardOptions& guard)
{
    // Views into the rows and keys, which outlive this call; sorted at the end.
    std::unordered_map<std::string_view, Counts> counted;
    const auto at = [&](std::string_view program) -> Counts& {
        const auto [it, fresh] = counted.try_emplace(program);
        if (fresh)
            it->second.program = std::string(program);
        return it->second;
    };
    const auto& keys = release.keys();
    for (const LanguageRow& row : rows)
        if (!row.obsolete)
            ++at(row.program).live;
    for (const std::size_t k : plan.kept)
        ++at(keys[k].program).kept;
    for (const Carried& c : plan.reworded)
        ++at(keys[c.key].program).reworded;
    for (const Carried& c : plan.moved)
        ++at(keys[c.key].program).moved;
    for (const Added& a : plan.added) {
        Counts& c = at(keys[a.key].program);
        ++c.added;
        if (a.memoryRow)
            ++c.fromMemory;
    }
    for (const std::size_t r : plan.revived)
        ++at(rows[r].program).revived;
    for (const std::size_t r : plan.vanished)
        ++at(rows[r].program).vanished;

    std::map<std::string_view, const Counts*> byProgram;
    for (const auto& [name, c] : counted)
        byProgram.emplace(name, &c);
    LanguageSummary s;
    for (const auto& [name, counts] : byProgram) {
        const Counts& c = *counts;
        s.total.live += c.live;
        s.total.kept += c.kept;
        s.total.reworded += c.reworded;
        s.total.moved += c.moved;
        s.total.added += c.added;
        s.total.fromMemory += c.fromMemory;
        s.total.revived += c.revived;
        s.total.vanished += c.vanished;
        s.programs.push_back(c);
    }
    if (s.total.live > 0)
        s.vanishedPercent =
            std::round(10000.0 * static_cast<double>(s.total.vanished) / static_cast<double>(s.total.live)) / 100.0;
    if (guard.emptyFile && s.total.live > 0) {
        s.needsConfirm = true;
        s.warning = "O arquivo da liberação não tem nenhuma linha: aplicado, ele tornaria obsoletas todas as "
            + thousands(s.total.live) + " linhas vivas de " + language + ".";
    } else if (100 * s.total.vanished > static_cast<std::size_t>(guard.vanishLimit) * s.total.live) {
        s.needsConfirm = true;
        s.warning = "A liberação tornaria obsoletas " + percentText(s.vanishedPercent) + " % das linhas vivas de "
            + language + " (" + thousands(s.total.vanished) + " de " + thousands(s.total.live) + "; o limite é "
            + std::to_string(guard.vanishLimit) + " %).";
    }
    return s;
}

} // namespace trd::server::release
