#pragma once

#include <cstdarg>

#include "orvn_plugin.h"

// The function table is filled family by family, each family its own slots.
// Called once, from the CPluginManager constructor.
void BuildPluginFuncs(PluginFuncs* pFuncs);

// Slots 0..9, 12..77 and 113..119: plugins, clock, console and server settings.
void FillServerFuncs(PluginFuncs* pFuncs);
// Slots 10, 11, 120..219 and 331..337: messages to players, and the players.
void FillPlayerFuncs(PluginFuncs* pFuncs);
// Slots 78 and 79: explosions and sounds around a point.
void FillWorldEffectFuncs(PluginFuncs* pFuncs);
// Slots 97..110: text elements and named elements.
void FillElementFuncs(PluginFuncs* pFuncs);
// Slots 293..308: pickups.
void FillPickupFuncs(PluginFuncs* pFuncs);
// Slots 309..330: map objects.
void FillObjectFuncs(PluginFuncs* pFuncs);
// Slots 80..96, 111 and 112: hidden map objects, weapon data, key binds,
// markers and radio stations.
void FillContentFuncs(PluginFuncs* pFuncs);
// Slots 175 and 220..292: putting players into vehicles, the vehicles and
// their handling rules.
void FillVehicleFuncs(PluginFuncs* pFuncs);

// Expands a plugin's format with the C rules into the table's shared
// 4096-byte buffer (longer output is cut) and returns that buffer. The text
// stays valid only until the next formatting call, so a caller that raises
// an event with it must copy it first. A null format gives an empty text.
const char* FormatPluginText(const char* szFormat, va_list args);
