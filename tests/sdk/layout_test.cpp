// Slot positions of the plugin tables as the server's own build sees them. A plugin finds every
// function by position only, so a member that moves, goes missing or is duplicated breaks every
// plugin built against the other order; the entries cover the first and last slot of every family
// and each place where the families interleave.
#include "orvn_plugin.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace
{

struct SlotEntry
{
    const char* szName;
    size_t uiOffset;
    size_t uiSlot;
};

/* clang-format off */
#define FUNC_SLOT(member, slot) {#member, offsetof(PluginFuncs, member), slot}
#define CALLBACK_SLOT(member, slot) {#member, offsetof(PluginCallbacks, member), slot}
/* clang-format on */

const SlotEntry kFuncSlots[] = {
    FUNC_SLOT(GetServerVersion, 0),
    FUNC_SLOT(ExportFunctions, 2),
    FUNC_SLOT(LogMessage, 8),
    FUNC_SLOT(SendClientMessage, 10),
    FUNC_SLOT(SendGameMessage, 11),
    FUNC_SLOT(SetServerName, 12),
    FUNC_SLOT(GetDeathSettings, 23),
    FUNC_SLOT(GetVehicleRespawnHeight, 43),
    FUNC_SLOT(SetWorldOption0, 44),
    FUNC_SLOT(GetWorldOption13, 71),
    FUNC_SLOT(GetDefaultPlayerOption8, 77),
    FUNC_SLOT(CreateExplosion, 78),
    FUNC_SLOT(SetWeaponDataValue, 83),
    FUNC_SLOT(RemoveAllKeyBinds, 93),
    FUNC_SLOT(CreateMarker, 94),
    FUNC_SLOT(CreateTextElement, 97),
    FUNC_SLOT(SetTextElementFlag, 104),
    FUNC_SLOT(CreateNamedElement, 105),
    FUNC_SLOT(SetNamedElementValue3, 110),
    FUNC_SLOT(SetRadioStation, 111),
    FUNC_SLOT(AddPlayerClass, 116),
    FUNC_SLOT(SetSpawnCameraLookAt, 119),
    FUNC_SLOT(IsPlayerAdmin, 120),
    FUNC_SLOT(GetPlayerIdFromName, 128),
    FUNC_SLOT(IsWorldVisibleToPlayer, 138),
    FUNC_SLOT(SetPlayerName, 141),
    FUNC_SLOT(GetPlayerColour, 147),
    FUNC_SLOT(ForceAllSelect, 150),
    FUNC_SLOT(GetPlayerScore, 155),
    FUNC_SLOT(GetPlayerClientValue, 158),
    FUNC_SLOT(SetPlayerHealth, 160),
    FUNC_SLOT(SetPlayerPosition, 166),
    FUNC_SLOT(SetPlayerExtraState, 173),
    FUNC_SLOT(PutPlayerInVehicle, 175),
    FUNC_SLOT(SetPlayerOption0, 180),
    FUNC_SLOT(SetPlayerOption12, 194),
    FUNC_SLOT(SetPlayerOption8, 196),
    FUNC_SLOT(SetPlayerOption7, 198),
    FUNC_SLOT(GetPlayerOption7, 199),
    FUNC_SLOT(GivePlayerWeapon, 200),
    FUNC_SLOT(SetCameraPosition, 210),
    FUNC_SLOT(SetPlayerSettableByte, 214),
    FUNC_SLOT(GetPlayerStandingOnVehicle, 215),
    FUNC_SLOT(GetPlayerStandingOnObject, 216),
    FUNC_SLOT(SetPlayerSpectateTarget, 219),
    FUNC_SLOT(CreateVehicle, 220),
    FUNC_SLOT(SetVehicleOptionByte, 230),
    FUNC_SLOT(ExplodeVehicle, 232),
    FUNC_SLOT(SetVehiclePosition, 234),
    FUNC_SLOT(GetVehicleSpawnRotationEuler, 257),
    FUNC_SLOT(SetVehicleOptionFlag1, 272),
    FUNC_SLOT(SetVehicleOptionFlag0, 274),
    FUNC_SLOT(GetVehicleOptionFlag2, 280),
    FUNC_SLOT(SetVehicleOptionFlag2, 281),
    FUNC_SLOT(ResetAllVehicleHandlings, 282),
    FUNC_SLOT(ResetInstHandling, 292),
    FUNC_SLOT(CreatePickup, 293),
    FUNC_SLOT(GetPickupQuantity, 308),
    FUNC_SLOT(CreateObject, 309),
    FUNC_SLOT(IsObjectTouchedReportEnabled, 330),
    FUNC_SLOT(SendPlayerTextBlock, 331),
    FUNC_SLOT(GetPlayerSyncFlag0, 332),
    FUNC_SLOT(GetPlayerKeys, 335),
    FUNC_SLOT(GetPlayerAimPosition, 337),
};

const SlotEntry kCallbackSlots[] = {
    CALLBACK_SLOT(OnServerInitialise, 0),
    CALLBACK_SLOT(OnServerShutdown, 1),
    CALLBACK_SLOT(OnServerFrame, 2),
    CALLBACK_SLOT(OnPlayerConnect, 3),
    CALLBACK_SLOT(OnPlayerToggleOff, 6),
    CALLBACK_SLOT(OnPlayerRequestSpawn, 8),
    CALLBACK_SLOT(OnPlayerDeath, 10),
    CALLBACK_SLOT(OnPlayerRequestEnterVehicle, 12),
    CALLBACK_SLOT(OnPlayerExitVehicle, 14),
    CALLBACK_SLOT(OnPickupPickAttempt, 15),
    CALLBACK_SLOT(OnPickupPicked, 16),
    CALLBACK_SLOT(Reserved17, 17),
    CALLBACK_SLOT(OnVehicleUpdate, 18),
    CALLBACK_SLOT(OnVehicleRespawn, 20),
    CALLBACK_SLOT(OnObjectTouched, 22),
    CALLBACK_SLOT(OnPlayerMessage, 23),
    CALLBACK_SLOT(OnPlayerCommand, 24),
    CALLBACK_SLOT(OnPlayerPrivateMessage, 25),
    CALLBACK_SLOT(OnPluginCommand, 26),
    CALLBACK_SLOT(OnIncomingConnection, 27),
    CALLBACK_SLOT(OnEntityPoolChange, 28),
    CALLBACK_SLOT(OnKeyBindUp, 30),
    CALLBACK_SLOT(OnPlayerSpectate, 32),
    CALLBACK_SLOT(OnPlayerClientText, 33),
    CALLBACK_SLOT(OnServerPerformanceReport, 34),
    CALLBACK_SLOT(OnPlayerNameChange, 35),
    CALLBACK_SLOT(OnPlayerSyncCodeChange, 37),
    CALLBACK_SLOT(OnPlayerSyncFlag1Change, 39),
    CALLBACK_SLOT(OnPlayerKeysChange, 40),
};

#undef FUNC_SLOT
#undef CALLBACK_SLOT

TEST(PluginTableLayout, FunctionsSitAtTheirSlots)
{
    for (const SlotEntry& entry : kFuncSlots)
    {
        EXPECT_EQ(entry.uiOffset, ORVN_FUNCS_SLOT_OFFSET(entry.uiSlot)) << entry.szName;
    }
    EXPECT_EQ(ORVN_FUNCS_SLOT_INDEX(SetPlayerHealth), 160u);
}

TEST(PluginTableLayout, CallbacksSitAtTheirSlots)
{
    for (const SlotEntry& entry : kCallbackSlots)
    {
        EXPECT_EQ(entry.uiOffset, ORVN_CALLBACKS_SLOT_OFFSET(entry.uiSlot)) << entry.szName;
    }
    EXPECT_EQ(ORVN_CALLBACKS_SLOT_INDEX(OnPlayerKeysChange), 40u);
}

} // namespace
