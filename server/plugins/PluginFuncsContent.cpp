#include "CServer.h"
#include "plugins/PluginFuncs.h"
#include "plugins/PluginSlot.h"
#include "world/CMarkerPool.h"
#include "world/CStreamer.h"

// Slots 80..96, 111 and 112: hidden map objects, weapon data, key binds,
// coordinate markers and radio stations. Each slot hands its arguments to
// the table that owns them; before the server exists nothing is stored and
// the answer is the refusal (0, -1 or 0.0).

namespace
{
CHiddenMapObjects* HiddenObjects()
{
    return g_pServer && g_pServer->m_pStreamer ? &g_pServer->m_pStreamer->GetHiddenMapObjects() : nullptr;
}

CMarkerPool* Markers()
{
    return g_pServer ? g_pServer->m_pMarkerPool : nullptr;
}

int32_t HideMapObject(int32_t nModel, int32_t nX, int32_t nY, int32_t nZ)
{
    CHiddenMapObjects* pHidden = HiddenObjects();
    if (!pHidden)
        return 0;
    pHidden->Hide(nModel, nX, nY, nZ);
    return 1;
}

int32_t ShowMapObject(int32_t nModel, int32_t nX, int32_t nY, int32_t nZ)
{
    CHiddenMapObjects* pHidden = HiddenObjects();
    if (!pHidden)
        return 0;
    pHidden->Show(nModel, nX, nY, nZ);
    return 1;
}

int32_t ShowAllMapObjects()
{
    CHiddenMapObjects* pHidden = HiddenObjects();
    if (!pHidden)
        return 0;
    pHidden->ShowAll();
    return 1;
}

int32_t SetWeaponDataValue(int32_t nWeapon, int32_t nField, double dValue)
{
    return g_pServer && g_pServer->m_WeaponData.Set(nWeapon, nField, dValue) ? 1 : 0;
}

double GetWeaponDataValue(int32_t nWeapon, int32_t nField)
{
    return g_pServer ? g_pServer->m_WeaponData.Get(nWeapon, nField) : 0.0;
}

int32_t ResetWeaponDataValue(int32_t nWeapon, int32_t nField)
{
    if (!g_pServer)
        return 0;
    g_pServer->m_WeaponData.ResetValue(nWeapon, nField);
    return 1;
}

int32_t IsWeaponDataValueModified(int32_t nWeapon, int32_t nField)
{
    return g_pServer && g_pServer->m_WeaponData.IsModified(nWeapon, nField) ? 1 : 0;
}

int32_t ResetWeaponData(int32_t nWeapon)
{
    if (!g_pServer)
        return 0;
    g_pServer->m_WeaponData.ResetWeapon(nWeapon);
    return 1;
}

int32_t ResetAllWeaponData()
{
    if (!g_pServer)
        return 0;
    g_pServer->m_WeaponData.ResetAll();
    return 1;
}

int32_t GetKeyBindUnusedSlot()
{
    return g_pServer ? g_pServer->m_KeyBinds.FindFreeSlot() : -1;
}

int32_t GetKeyBindData(int32_t nBindId, int32_t* pnOnRelease, int32_t* pnKey1, int32_t* pnKey2,
                       int32_t* pnKey3)
{
    if (!g_pServer)
        return 0;
    return g_pServer->m_KeyBinds.Get(nBindId, pnOnRelease, pnKey1, pnKey2, pnKey3) ? 1 : 0;
}

int32_t RegisterKeyBind(int32_t nBindId, int32_t nOnRelease, int32_t nKey1, int32_t nKey2, int32_t nKey3)
{
    return g_pServer && g_pServer->m_KeyBinds.Register(nBindId, nOnRelease != 0, nKey1, nKey2, nKey3) ? 1 : 0;
}

int32_t RemoveKeyBind(int32_t nBindId)
{
    return g_pServer && g_pServer->m_KeyBinds.Remove(nBindId) ? 1 : 0;
}

void RemoveAllKeyBinds()
{
    if (g_pServer)
        g_pServer->m_KeyBinds.RemoveAll();
}

int32_t CreateMarker(int32_t nIndex, int32_t nWorld, float fX, float fY, float fZ, int32_t nAttributeA,
                     int32_t nAttributeB, int32_t nAttributeC)
{
    CMarkerPool* pMarkers = Markers();
    if (!pMarkers)
        return -1;
    return pMarkers->Create(nIndex, nWorld, Vector(fX, fY, fZ), nAttributeA,
                            static_cast<uint32_t>(nAttributeB), nAttributeC);
}

void DestroyMarker(int32_t nIndex)
{
    if (CMarkerPool* pMarkers = Markers())
        pMarkers->Destroy(nIndex);
}

int32_t GetMarkerInfo(int32_t nIndex, int32_t* pnWorld, float* pfX, float* pfY, float* pfZ,
                      int32_t* pnAttributeA, int32_t* pnAttributeB, int32_t* pnAttributeC)
{
    CMarkerPool* pMarkers = Markers();
    Vector vPosition;
    uint32_t uiAttributeB = 0;
    if (!pMarkers || !pMarkers->Get(nIndex, pnWorld, &vPosition, pnAttributeA, &uiAttributeB, pnAttributeC))
        return 0;
    WriteVector(vPosition, pfX, pfY, pfZ);
    if (pnAttributeB)
        *pnAttributeB = static_cast<int32_t>(uiAttributeB);
    return 1;
}

int32_t SetRadioStation(int32_t nIndex, const char* szName, const char* szSource, int32_t nFlag)
{
    if (!g_pServer)
        return 0;
    g_pServer->m_RadioStations.Set(nIndex, szName, szSource, nFlag != 0);
    return 1;
}

int32_t RemoveRadioStation(int32_t nIndex)
{
    if (!g_pServer)
        return 0;
    g_pServer->m_RadioStations.Remove(nIndex);
    return 1;
}
} // namespace

void FillContentFuncs(PluginFuncs* pFuncs)
{
    pFuncs->HideMapObject = HideMapObject;
    pFuncs->ShowMapObject = ShowMapObject;
    pFuncs->ShowAllMapObjects = ShowAllMapObjects;
    pFuncs->SetWeaponDataValue = SetWeaponDataValue;
    pFuncs->GetWeaponDataValue = GetWeaponDataValue;
    pFuncs->ResetWeaponDataValue = ResetWeaponDataValue;
    pFuncs->IsWeaponDataValueModified = IsWeaponDataValueModified;
    pFuncs->ResetWeaponData = ResetWeaponData;
    pFuncs->ResetAllWeaponData = ResetAllWeaponData;
    pFuncs->GetKeyBindUnusedSlot = GetKeyBindUnusedSlot;
    pFuncs->GetKeyBindData = GetKeyBindData;
    pFuncs->RegisterKeyBind = RegisterKeyBind;
    pFuncs->RemoveKeyBind = RemoveKeyBind;
    pFuncs->RemoveAllKeyBinds = RemoveAllKeyBinds;
    pFuncs->CreateMarker = CreateMarker;
    pFuncs->DestroyMarker = DestroyMarker;
    pFuncs->GetMarkerInfo = GetMarkerInfo;
    pFuncs->SetRadioStation = SetRadioStation;
    pFuncs->RemoveRadioStation = RemoveRadioStation;
}
