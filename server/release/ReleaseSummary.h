#pragma once
// What a language's plan amounts to, per program, and whether its apply must
// be confirmed: an empty file, or more of the language's live rows leaving,
// carried nowhere, than the share allowed (docs/releases.md, "The guards").
#include "Reconcile.h"

#include <string>
#include <vector>

namespace trd::server::release {

struct Counts {
    std::string program; // empty: the whole language
    std::size_t live = 0; // live rows before the release
    std::size_t kept = 0, reworded = 0, moved = 0, added = 0, fromMemory = 0, revived = 0, vanished = 0;
};

struct LanguageSummary {
    Counts total;
    std::vector<Counts> programs; // in program order
    double vanishedPercent = 0; // of the live rows, two decimals
    bool needsConfirm = false;
    std::string warning; // why, for the user; empty when not
};

struct GuardOptions {
    int vanishLimit = 30; // percent of the live rows
    bool emptyFile = false;
};

LanguageSummary summarize(const std::string& language, const LanguagePlan& plan, const ReleaseIndex& release,
                          const std::vector<LanguageRow>& rows, const GuardOptions& guard);

// 4120 -> "4.120", 35.2 -> "35,20": the figures as the messages write them.
std::string thousands(std::size_t n);
std::string percentText(double percent);

} // namespace trd::server::release
