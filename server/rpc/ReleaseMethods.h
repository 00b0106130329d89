#pragma once
// The methods of a release of the application (docs/protocol.md,
// "Releases"; docs/releases.md): its preview and apply, the previous sources
// of the rows it created, the rows it made obsolete, and the undo of a
// release's batch, which DesfazLote hands here.
#include "AnswerPacketWriter.h"
#include "Caller.h"
#include "Json.h"
#include "MethodTable.h"
#include "ReleaseProgress.h"
#include "StorageMethods.h"

#include <string_view>
#include <vector>

namespace trd::server {

class ReleaseMethods : public StorageMethods {
public:
    using StorageMethods::StorageMethods;

    static std::span<const MethodEntry<ReleaseMethods>> methods();
    // True for a DesfazLote whose batch is a release's: its undo is this
    // module's (the history's undo refuses it), with the right below.
    bool takesUndo(std::string_view method, const std::vector<JsonValue>& params);
    static Right undoRight();
    void undo(MethodCall& call);

private:
    void preview(MethodCall& call) { previewOrApply(false, call); }
    void apply(MethodCall& call) { previewOrApply(true, call); }
    void previousSources(MethodCall& call);
    void obsoleteRows(MethodCall& call);
    void previewOrApply(bool apply, MethodCall& call);
    // An apply's progress and its cancel, by the token its caller gave it.
    void applyProgress(MethodCall& call);
    void cancelApply(MethodCall& call);

    release::ReleaseJobs m_jobs;
};

} // namespace trd::server
