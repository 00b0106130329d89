#pragma once
// A translation row's key (program, component, source text), its text and
// its status, carried from one record of the row to another: every record
// that holds a row names these alike, whatever else it holds and whether it
// keeps them as strings or as views into another's.

namespace trd::server {

template <typename To, typename From>
void copyRowKey(To& to, const From& from)
{
    to.program = from.program;
    to.component = from.component;
    to.source = from.source;
}

// The key, the destination text and the status.
template <typename To, typename From>
void copyRowText(To& to, const From& from)
{
    copyRowKey(to, from);
    to.destination = from.destination;
    to.status = from.status;
}

} // namespace trd::server
