#pragma once
// The socket-level probes of bench_edge: raw HTTP/1.1 round trips on
// loopback, savers that flip their own row, and the percentiles they print.
#include "ServerTestKit.h"

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace trd::bench::edge {

using Clock = std::chrono::steady_clock;

inline const std::string Health = "GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";

struct Percentiles {
    double p50 = 0, p99 = 0, max = 0;
    std::size_t n = 0;
};

// The destination text each row has now, per server.
using RowTexts = std::vector<std::string>;

// Saves' latencies, each with when it started.
struct TimedSaves {
    std::vector<std::pair<Clock::time_point, double>> saves;
};

double ms(Clock::duration d);

// from: a loopback source address ("127.0.1.7"), to play another machine.
int connectTo(int port, const char* from = nullptr);

// Sends one request and reads its whole answer (by Content-Length); returns the body.
std::string roundTrip(int fd, const std::string& request);

std::string post(const std::string& body, const std::string& token = {});

Percentiles percentiles(std::vector<double> v);

// One saver: keeps flipping the destination text of its own row; each
// save's start and latency.
TimedSaves saves(int port, int row, std::string& dst, Clock::time_point until, const std::string& token = {});

// Savers on rows 0..savers-1 at once for `seconds`, each save with its start.
TimedSaves timedSaves(int port, RowTexts& texts, int savers, double seconds, const std::string& token = {});

Percentiles concurrentSaves(int port, RowTexts& texts, int savers, double seconds, const std::string& token = {});

// A fresh client: connect, GET /health, answer; how long it waited.
Percentiles newClientWaits(int port, int probes);

// 200 clients connecting at the same moment, each asking GET /health once.
Percentiles burst(int port, int clients);

Percentiles healthRoundTrip(int port, int n);

void print(const char* what, const Percentiles& p);

std::string loginToken(int port);

void printLoad(const char* when);

} // namespace trd::bench::edge
