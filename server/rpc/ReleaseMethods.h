#pragma once
// The methods of a release of the application (docs/protocol.md,
// "Releases"; docs/releases.md): its preview and apply, the previous sources
// of the rows it created, the rows it made obsolete, and the undo of a
// release's batch, which DesfazLote hands here.
#include "AnswerPacketWriter.h"
#include "Caller.h"
#include "Json.h"
#include "SessionPool.h"
#include "WriteCoordinator.h"

#include <string_view>
#include <vector>

namespace trd::server {

class ReleaseMethods {
public:
    ReleaseMethods(SessionPool& sessions, WriteCoordinator& writer) : m_sessions(sessions), m_writer(writer) {}

    static bool isMethod(std::string_view method);
    // True for a DesfazLote whose batch is a release's: its undo is this
    // module's (the history's undo refuses it).
    bool takesUndo(std::string_view method, const std::vector<JsonValue>& params);
    void call(std::string_view method, std::vector<JsonValue>& params, AnswerBuffer& out, const Caller& caller);

private:
    void previewOrApply(bool apply, std::vector<JsonValue>& params, AnswerBuffer& out, const Caller& caller);
    void previousSources(std::vector<JsonValue>& params, AnswerBuffer& out);
    void obsoleteRows(std::vector<JsonValue>& params, AnswerBuffer& out);
    void undo(std::vector<JsonValue>& params, AnswerBuffer& out, const Caller& caller);

    SessionPool& m_sessions;
    WriteCoordinator& m_writer;
};

} // namespace trd::server
