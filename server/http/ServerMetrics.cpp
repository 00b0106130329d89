#include "ServerMetrics.h"

#include "RpcError.h"

#include <cstdio>
#include <cstring>
#include <functional>

namespace trd::server {

namespace {

constexpr const char* OutcomeNames[] = {"ok", "invalid", "denied", "refused", "failed"};
constexpr const char* RefusalNames[] = {"connection", "request", "answer"};

std::string number(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

} // namespace

CallOutcome outcomeOfCode(int code)
{
    switch (code) {
    case 0:
        return CallOutcome::Ok;
    case rpc::ParseError:
    case rpc::InvalidRequest:
    case rpc::MethodNotFound:
    case rpc::InvalidParams:
        return CallOutcome::Invalid;
    case rpc::AuthRequired:
    case rpc::LoginFailed:
    case rpc::Forbidden:
        return CallOutcome::Denied;
    case rpc::Refused:
    case rpc::NeedsConfirmation:
        return CallOutcome::Refused;
    default:
        return CallOutcome::Failed;
    }
}

std::string metricLabel(std::string_view value)
{
    std::string out;
    for (const char c : value) {
        if (c == '\\' || c == '"')
            out += '\\';
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

ServerMetrics::Slot& ServerMetrics::slotFor(std::string_view method)
{
    if (method.size() >= sizeof(Slot::name))
        method = method.substr(0, sizeof(Slot::name) - 1);
    const std::size_t start = std::hash<std::string_view>{}(method) % (Slots - 1);
    for (std::size_t probe = 0; probe < Slots - 1; ++probe) {
        Slot& slot = m_slots[(start + probe) % (Slots - 1)];
        int state = slot.state.load(std::memory_order_acquire);
        if (state == 0) {
            int expected = 0;
            if (slot.state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) {
                std::memcpy(slot.name, method.data(), method.size());
                slot.state.store(2, std::memory_order_release);
                return slot;
            }
            state = expected;
        }
        // Another thread is naming it: wait the few instructions that takes.
        while (state == 1)
            state = slot.state.load(std::memory_order_acquire);
        if (std::string_view(slot.name) == method)
            return slot;
    }
    // Every slot taken: the rest share the last one.
    Slot& rest = m_slots[Slots - 1];
    int expected = 0;
    if (rest.state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) {
        std::memcpy(rest.name, "(outros)", 8);
        rest.state.store(2, std::memory_order_release);
    }
    return rest;
}

void ServerMetrics::countCall(std::string_view method, CallOutcome outcome, double seconds)
{
    Slot& slot = slotFor(method.empty() ? std::string_view("-") : method);
    slot.outcomes[static_cast<std::size_t>(outcome)].fetch_add(1, std::memory_order_relaxed);
    std::size_t bucket = 0;
    while (bucket < Bounds.size() && seconds > Bounds[bucket])
        ++bucket;
    slot.buckets[bucket].fetch_add(1, std::memory_order_relaxed);
    slot.micros.fetch_add(static_cast<std::uint64_t>(seconds > 0 ? seconds * 1e6 : 0), std::memory_order_relaxed);
}

void ServerMetrics::countRefusal(RefusalKind kind)
{
    m_refusals[static_cast<std::size_t>(kind)].fetch_add(1, std::memory_order_relaxed);
}

std::string ServerMetrics::render() const
{
    std::string requests = "# HELP trd_requests_total Calls answered, by method and outcome.\n"
                           "# TYPE trd_requests_total counter\n";
    std::string latency = "# HELP trd_request_duration_seconds Time from a call's body to its answer.\n"
                          "# TYPE trd_request_duration_seconds histogram\n";
    for (const Slot& slot : m_slots) {
        if (slot.state.load(std::memory_order_acquire) != 2)
            continue;
        const std::string method = "method=\"" + metricLabel(slot.name) + "\"";
        for (std::size_t o = 0; o < Outcomes; ++o)
            requests += "trd_requests_total{" + method + ",outcome=\"" + OutcomeNames[o] + "\"} "
                + std::to_string(slot.outcomes[o].load(std::memory_order_relaxed)) + "\n";
        std::uint64_t cumulative = 0;
        for (std::size_t b = 0; b <= Bounds.size(); ++b) {
            cumulative += slot.buckets[b].load(std::memory_order_relaxed);
            latency += "trd_request_duration_seconds_bucket{" + method + ",le=\""
                + (b < Bounds.size() ? number(Bounds[b]) : std::string("+Inf")) + "\"} " + std::to_string(cumulative)
                + "\n";
        }
        latency += "trd_request_duration_seconds_sum{" + method + "} "
            + number(static_cast<double>(slot.micros.load(std::memory_order_relaxed)) / 1e6) + "\n";
        latency += "trd_request_duration_seconds_count{" + method + "} " + std::to_string(cumulative) + "\n";
    }
    std::string refusals = "# HELP trd_refusals_total Connections and requests refused at the edge (limits, "
                           "framing, answers too large to hold).\n"
                           "# TYPE trd_refusals_total counter\n";
    for (std::size_t k = 0; k < m_refusals.size(); ++k)
        refusals += std::string("trd_refusals_total{kind=\"") + RefusalNames[k] + "\"} "
            + std::to_string(m_refusals[k].load(std::memory_order_relaxed)) + "\n";
    return requests + latency + refusals;
}

} // namespace trd::server
