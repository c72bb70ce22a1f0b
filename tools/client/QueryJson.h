#pragma once

// The query replies as JSON for monitoring scripts: one object per reply,
// fields named after the reply's fields. Texts from the server are bytes of
// no declared encoding; they come out as UTF-8, each byte that is not part
// of a valid UTF-8 sequence replaced by U+FFFD.

#include <string>

#include "CQueryClient.h"

namespace testclient
{

// The text as a JSON string literal, quotes included.
std::string JsonString(const std::string& strBytes);

std::string QueryInfoJson(const SQueryInfo& info, long lRoundTripMs);
std::string QueryPlayersJson(const SQueryPlayers& players, long lRoundTripMs);
std::string QueryPingJson(long lRoundTripMs);

} // namespace testclient
