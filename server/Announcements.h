#pragma once

#include <cstdint>

class CPlayer;

// The server's own announcements of connections, disconnections and deaths.
// Connection events go to the console and log, and to every player as a chat
// line while joinMessages is on; deaths go to every player as a chat line
// while deathMessages is on, and never to the log.

// Colour of every announcement chat line.
constexpr uint32_t ANNOUNCEMENT_COLOUR = 0xB0B0B0FF;

// Called by a player's creation.
void AnnounceConnect(CPlayer* pPlayer);
// Called by a player's removal with its disconnect reason.
void AnnounceDisconnect(CPlayer* pPlayer, int nReason);
// Called by the death handling; pKiller is null for a death without a killer.
void AnnounceDeath(CPlayer* pVictim, CPlayer* pKiller, int nReason, int nBodyPart);

// The texts the announcements are made of, for the tables' own users and tests.
// Out-of-range codes give "unknown" (body part, weapon) or an empty suffix.
const char* GetDisconnectSuffix(int nReason);
const char* GetBodyPartText(int nBodyPart);
const char* GetWeaponText(int nReason);

// What a death text shows of one player: its colour (only the low 24 bits are
// written) and its name.
struct SAnnouncedPlayer
{
    uint32_t uiColour;
    const char* szName;
};

// Writes the chat line of a death into szBuffer (nSize bytes); pKiller is null
// for a death without a killer.
void FormatDeathText(char* szBuffer, int nSize, const SAnnouncedPlayer& victim,
                     const SAnnouncedPlayer* pKiller, int nReason, int nBodyPart);
