// Raw bytes as a client would send them, through the framing every
// connection applies (RequestFraming.h): gathered in arbitrary pieces, then
// parsed, checked and routed; for the feed, its query read too. Whatever
// comes, the outcome is one of the framing's, a refusal carries a status
// that refuses, and feeding the bytes in pieces agrees with feeding them
// whole.
#include "FeedRequest.h"
#include "HostPolicy.h"
#include "RequestFraming.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace trd::server;

namespace {

const HostPolicy& hosts()
{
    static const HostPolicy policy("127.0.0.1", {"tradutor.local"});
    return policy;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the limits and how the bytes arrive.
    const unsigned pick = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    FramingLimits limits;
    limits.maxHeaderBytes = (pick & 1) ? 256 : 16u << 10;
    limits.maxHeaderCount = (pick & 2) ? 4 : 64;
    limits.maxBody = (pick & 4) ? 16 : 256u << 20;
    const std::size_t piece = 1 + (pick >> 3);

    // Gathered as a connection gathers: the end found across pieces.
    std::size_t scanned = 0;
    HeadScan scan;
    for (std::size_t have = std::min(piece, bytes.size());; have = std::min(have + piece, bytes.size())) {
        scan = scanHead(bytes.substr(0, have), scanned, limits.maxHeaderBytes);
        if (scan.state != HeadScan::State::NeedMore || have == bytes.size())
            break;
        if (scan.scanned > have)
            std::abort();
        scanned = scan.scanned;
    }
    const HeadScan whole = scanHead(bytes, 0, limits.maxHeaderBytes);
    // An end seen whole is seen in pieces too, unless the pieces ran past
    // the limit before it came.
    if ((whole.state == HeadScan::State::Complete || whole.state == HeadScan::State::Folded)
        && scan.state != whole.state && scan.state != HeadScan::State::TooLarge)
        std::abort();

    const FramedHead framed = frameHead(bytes, limits, hosts(), pick & 8);
    switch (framed.kind) {
    case FramedHead::Kind::Refused:
        if (static_cast<unsigned>(framed.refusal.status) < 400 || framed.refusal.message.empty())
            std::abort();
        break;
    case FramedHead::Kind::Routed:
        if (framed.headBytes == 0 || framed.headBytes > bytes.size())
            std::abort();
        if (framed.route.kind == RequestRoute::Kind::Feed)
            (void)readFeedRequest(framed.route.query);
        if ((framed.route.kind == RequestRoute::Kind::Refused || framed.route.kind == RequestRoute::Kind::NotFound)
            && framed.route.refusal.message.empty())
            std::abort();
        if (framed.contentLength && *framed.contentLength > limits.maxBody)
            std::abort(); // over the limit is refused before any body is read
        break;
    case FramedHead::Kind::NeedMore:
    case FramedHead::Kind::Closed:
        break;
    }
    return 0;
}
