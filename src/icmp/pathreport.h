#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "icmp/pathprober.h"

namespace quorvel::icmp {

// The text report of one path, in the layout of mtr's report: a HOST line,
// then one line per hop "  1.|-- ADDRESS  Loss% Snt Last Avg Best Wrst StDev"
// followed by our columns Rcv, p50, p95 and Jttr (the RFC 3550 jitter).
// Times in ms with three decimals; "???" for a hop nobody answered at; the
// further addresses of a hop on lines of their own below it. A loss that
// later hops do not share ends in "*" (the router limits its answers), a
// hop that answered "unreachable" in "!", explained under the table. With
// `names`, a hop shows its name and its address in brackets.
std::string PathReport(const PathSnapshot& path, const std::string& localHost, bool names);

// The JSON of one path in the shape of mtr's --json, so that its parsers
// read it: {"report": {"mtr": {"src", "dst", "tests", "psize", ...},
// "hubs": [{"count", "host", "Loss%", "Snt", "Last", "Avg", "Best", "Wrst",
// "StDev", ...}]}}, where each hub also has "Rcv", "p50", "p95", "jitter",
// "late", "address", "addresses", "changes", "rate_limited", "unreachable"
// and "target", and the report a "path" object: {"rounds", "changes",
// "reached"}. Times in ms; a figure that does not exist yet is null.
// `packetBytes` is the size of a probe's IP packet.
std::string PathJson(const PathSnapshot& path, const std::string& localHost, std::size_t packetBytes);

// CSV with one row per hop per round: the header line, and the row of one
// ended probe: time (ISO 8601 local time with offset), unix_ms, target,
// round (from 1), hop, address (empty when lost), status (HopKindName) and
// rtt_ms (three decimals, empty when lost). Lines end in CR LF; the target
// is quoted where it needs to be (RFC 4180).
std::string PathCsvHeader();
std::string PathCsvLine(const HopResult& result, const std::string& target, std::int32_t utcOffsetSeconds);

}  // namespace quorvel::icmp
