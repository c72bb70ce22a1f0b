#include "PluginFuncs.h"

#include <type_traits>

// Placeholders for the slots whose family is not written yet. Each has the
// slot's exact signature and gives the answer an unknown id gets (0, -1 or
// 0.0); slots without an id answer 0, "nothing done". A family that gets
// written fills its own slots over these in BuildPluginFuncs.

namespace
{
template <typename TFunction, int nResult> struct SStub;

template <typename TResult, typename... TParams, int nResult> struct SStub<TResult (*)(TParams...), nResult>
{
    static TResult Call(TParams...)
    {
        if constexpr (!std::is_void_v<TResult>)
            return static_cast<TResult>(nResult);
    }
};

// The printf-style slots.
template <typename TResult, typename... TParams, int nResult>
struct SStub<TResult (*)(TParams..., ...), nResult>
{
    static TResult Call(TParams..., ...)
    {
        if constexpr (!std::is_void_v<TResult>)
            return static_cast<TResult>(nResult);
    }
};
} // namespace

#define STUB(slot, result) pFuncs->slot = SStub<decltype(PluginFuncs::slot), result>::Call

// Chat lines and on-screen messages (10, 11).
static void FillMessageStubs(PluginFuncs* pFuncs)
{
    STUB(SendClientMessage, 0);
    STUB(SendGameMessage, 0);
}

// World effects (78, 79).
static void FillWorldStubs(PluginFuncs* pFuncs)
{
    STUB(CreateExplosion, 0);
    STUB(PlaySound, 0);
}

// Players (115, 120..219, 331..337). KickPlayer and BanPlayer answer 1 even
// for an id that names nobody.
static void FillPlayerStubs(PluginFuncs* pFuncs)
{
    STUB(GetPlayerClass, 0);
    STUB(IsPlayerAdmin, 0);
    STUB(SetPlayerAdmin, 0);
    STUB(GetPlayerIP, 0);
    STUB(KickPlayer, 1);
    STUB(BanPlayer, 1);
    STUB(BanIP, 0);
    STUB(UnbanIP, 0);
    STUB(IsIPBanned, 0);
    STUB(GetPlayerIdFromName, -1);
    STUB(IsPlayerConnected, 0);
    STUB(IsPlayerSpawned, 0);
    STUB(IsPlayerStreamedForPlayer, 0);
    STUB(GetPlayerKey, 0);
    STUB(SetPlayerWorld, 0);
    STUB(GetPlayerWorld, 0);
    STUB(SetPlayerSecondaryWorld, 0);
    STUB(GetPlayerSecondaryWorld, 0);
    STUB(GetPlayerUniqueWorld, 0);
    STUB(IsWorldVisibleToPlayer, 0);
    STUB(GetPlayerState, 0);
    STUB(GetPlayerName, 0);
    STUB(SetPlayerName, 0);
    STUB(SetPlayerClassByteA, 0);
    STUB(GetPlayerClassByteA, 0);
    STUB(SetPlayerClassByteB, 0);
    STUB(GetPlayerClassByteB, 0);
    STUB(SetPlayerColour, 0);
    STUB(GetPlayerColour, -1);
    STUB(ForcePlayerSpawn, 0);
    STUB(ForcePlayerSelect, 0);
    STUB(ForceAllSelect, 0);
    STUB(GivePlayerMoney, 0);
    STUB(SetPlayerMoney, 0);
    STUB(GetPlayerMoney, 0);
    STUB(SetPlayerScore, 0);
    STUB(GetPlayerScore, 0);
    STUB(GetPlayerPing, -1);
    STUB(GetPlayerClientToggle, 0);
    STUB(GetPlayerClientValue, 0);
    STUB(GetPlayerUniqueId, 0);
    STUB(SetPlayerHealth, 0);
    STUB(GetPlayerHealth, 0);
    STUB(SetPlayerArmour, 0);
    STUB(GetPlayerArmour, 0);
    STUB(SetPlayerFlagsByte, 0);
    STUB(GetPlayerFlagsByte, 0);
    STUB(SetPlayerPosition, 0);
    STUB(GetPlayerPosition, 0);
    STUB(SetPlayerSpeed, 0);
    STUB(GetPlayerSpeed, 0);
    STUB(AddPlayerSpeed, 0);
    STUB(SetPlayerHeading, 0);
    STUB(GetPlayerHeading, 0);
    STUB(SetPlayerExtraState, 0);
    STUB(GetPlayerExtraState, 0);
    STUB(RemovePlayerFromVehicle, 0);
    STUB(GetPlayerInVehicleStatus, 0);
    STUB(GetPlayerInVehicleSlot, -1);
    STUB(GetPlayerVehicleId, 0);
    STUB(SetPlayerOption0, 0);
    STUB(GetPlayerOption0, 0);
    STUB(SetPlayerOption1, 0);
    STUB(GetPlayerOption1, 0);
    STUB(SetPlayerOption2, 0);
    STUB(GetPlayerOption2, 0);
    STUB(SetPlayerOption3, 0);
    STUB(GetPlayerOption3, 0);
    STUB(SetPlayerOption4, 0);
    STUB(GetPlayerOption4, 0);
    STUB(SetPlayerOption5, 0);
    STUB(GetPlayerOption5, 0);
    STUB(SetPlayerOption6, 0);
    STUB(GetPlayerOption6, 0);
    STUB(SetPlayerOption12, 0);
    STUB(GetPlayerOption12, 0);
    STUB(SetPlayerOption8, 0);
    STUB(GetPlayerOption8, 0);
    STUB(SetPlayerOption7, 0);
    STUB(GetPlayerOption7, 0);
    STUB(GivePlayerWeapon, 0);
    STUB(SetPlayerWeapon, 0);
    STUB(GetPlayerWeapon, 0);
    STUB(GetPlayerWeaponAmmo, 0);
    STUB(SetPlayerWeaponSlot, 0);
    STUB(GetPlayerWeaponSlot, 0);
    STUB(GetPlayerWeaponAtSlot, 0);
    STUB(GetPlayerAmmoAtSlot, 0);
    STUB(RemovePlayerWeapon, 0);
    STUB(RemoveAllWeapons, 0);
    STUB(SetCameraPosition, 0);
    STUB(RestoreCamera, 0);
    STUB(GetPlayerResyncFlag, 0);
    STUB(SendPlayerPair, 0);
    STUB(SetPlayerSettableByte, 0);
    STUB(GetPlayerStandingOnVehicle, -1);
    STUB(GetPlayerStandingOnObject, -1);
    STUB(IsPlayerAway, 0);
    STUB(GetPlayerSpectateTarget, -1);
    STUB(SetPlayerSpectateTarget, 0);
    STUB(SendPlayerTextBlock, 0);
    STUB(GetPlayerSyncFlag0, 0);
    STUB(GetPlayerSyncFlag1, 0);
    STUB(GetPlayerSyncCode, -1);
    STUB(GetPlayerKeys, -1);
    STUB(GetPlayerAimDirection, 0);
    STUB(GetPlayerAimPosition, 0);
}

void FillStubFuncs(PluginFuncs* pFuncs)
{
    FillMessageStubs(pFuncs);
    FillWorldStubs(pFuncs);
    FillPlayerStubs(pFuncs);
}
