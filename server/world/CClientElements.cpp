#include "world/CClientElements.h"

#include <cstring>

#include "CServer.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "world/CWorldMessage.h"

namespace
{
// Message identifiers per family.
struct SFamilyIds
{
    uint8_t byShow;
    uint8_t byHide;
    uint8_t byValues12;
    uint8_t byValues34;
};

const SFamilyIds g_aFamilyIds[2] = {
    {ID_TEXT_ELEMENT_SHOW, ID_TEXT_ELEMENT_HIDE, ID_TEXT_ELEMENT_VALUES12, ID_TEXT_ELEMENT_VALUES34},
    {ID_NAMED_ELEMENT_SHOW, ID_NAMED_ELEMENT_HIDE, ID_NAMED_ELEMENT_VALUES12, ID_NAMED_ELEMENT_VALUE3},
};

CPlayerPool* Players()
{
    return g_pServer ? g_pServer->m_pPlayerPool : nullptr;
}

char* CopyElementText(const char* szText)
{
    const size_t nLength = szText ? strnlen(szText, CClientElements::MAX_TEXT) : 0;
    char* szCopy = new char[nLength + 1];
    if (nLength > 0)
        memcpy(szCopy, szText, nLength);
    szCopy[nLength] = '\0';
    return szCopy;
}

void Free(SClientElement& element)
{
    delete[] element.szText;
    element = SClientElement();
}
} // namespace

CClientElements::~CClientElements()
{
    Clear();
}

CClientElements* GetClientElements()
{
    static CClientElements s_Elements;
    return &s_Elements;
}

void CClientElements::Clear()
{
    for (SClientElement& element : m_aText)
        Free(element);
    for (SClientElement& element : m_aNamed)
        Free(element);
}

SClientElement* CClientElements::Entry(int nFamily, int nId)
{
    if (nFamily == FAMILY_TEXT)
        return static_cast<unsigned>(nId) < TEXT_ELEMENTS ? &m_aText[nId] : nullptr;
    return static_cast<unsigned>(nId) < NAMED_ELEMENTS ? &m_aNamed[nId] : nullptr;
}

const SClientElement* CClientElements::Get(int nFamily, int nId) const
{
    return const_cast<CClientElements*>(this)->Entry(nFamily, nId);
}

SClientElement* CClientElements::InUse(int nFamily, int nId)
{
    SClientElement* pElement = Entry(nFamily, nId);
    return pElement && pElement->bInUse ? pElement : nullptr;
}

bool CClientElements::IsTarget(int nPlayerId)
{
    return nPlayerId == -1 || (Players() && Players()->Get(nPlayerId));
}

// One player, or every player in the pool's processing order.
void CClientElements::Send(const CWorldMessage& message, int nPlayerId)
{
    CPlayerPool* pPlayers = Players();
    if (!pPlayers)
        return;
    if (nPlayerId != -1)
    {
        message.To(nPlayerId);
        return;
    }
    pPlayers->ForEachInOrder([&](CPlayer* pPlayer) { message.To(pPlayer->GetSlot()); });
}

int CClientElements::Create(int nFamily, int nId, const char* szText, const int32_t* pnValues, float fScale,
                            int nFlag)
{
    const int nCount = nFamily == FAMILY_TEXT ? TEXT_ELEMENTS : NAMED_ELEMENTS;
    if (nId == -1)
    {
        nId = 0;
        while (nId < nCount && Entry(nFamily, nId)->bInUse)
            ++nId;
    }
    SClientElement* pElement = Entry(nFamily, nId);
    if (!pElement)
        return -1;
    if (pElement->bInUse)
        Destroy(nFamily, nId);
    pElement->bInUse = true;
    pElement->szText = CopyElementText(szText);
    for (int i = 0; i < 4; ++i)
        pElement->anValue[i] = nFamily == FAMILY_TEXT || i < 3 ? pnValues[i] : 0;
    pElement->fScale = nFamily == FAMILY_TEXT ? fScale : 0.0f;
    pElement->byFlag = nFamily == FAMILY_TEXT ? static_cast<uint8_t>(nFlag) : 0;
    return nId;
}

bool CClientElements::Destroy(int nFamily, int nId)
{
    SClientElement* pElement = InUse(nFamily, nId);
    if (!pElement)
        return false;
    Hide(nFamily, nId, -1);
    Free(*pElement);
    return true;
}

// 226: the values as their low 16 bits, then scale and flag; 232: the
// values whole.
void CClientElements::WriteShow(CWorldMessage& message, int nFamily, int nId) const
{
    const SClientElement& element = *Get(nFamily, nId);
    RakNet::BitStream& stream = message.Stream();
    const size_t nLength = strlen(element.szText) + 1;
    stream.Write(static_cast<uint8_t>(nId));
    stream.Write(static_cast<uint8_t>(nLength));
    stream.Write(element.szText, static_cast<unsigned int>(nLength));
    if (nFamily == FAMILY_TEXT)
    {
        for (int32_t nValue : element.anValue)
            stream.Write(static_cast<int16_t>(nValue));
        stream.Write(element.fScale);
        stream.Write(element.byFlag);
        return;
    }
    for (int i = 0; i < 3; ++i)
        stream.Write(element.anValue[i]);
}

bool CClientElements::Show(int nFamily, int nId, int nPlayerId)
{
    if (!InUse(nFamily, nId) || !IsTarget(nPlayerId))
        return false;
    CWorldMessage message(g_aFamilyIds[nFamily].byShow);
    WriteShow(message, nFamily, nId);
    Send(message, nPlayerId);
    return true;
}

bool CClientElements::Hide(int nFamily, int nId, int nPlayerId)
{
    if (!InUse(nFamily, nId) || !IsTarget(nPlayerId))
        return false;
    CWorldMessage message(g_aFamilyIds[nFamily].byHide);
    message.Stream().Write(static_cast<uint8_t>(nId));
    Send(message, nPlayerId);
    return true;
}

// Text elements send 16-bit halves, named elements whole values; the named
// family's third value travels alone.
bool CClientElements::SetValues(int nFamily, int nId, int nPlayerId, int nFirst, int32_t nA, int32_t nB)
{
    SClientElement* pElement = InUse(nFamily, nId);
    if (!pElement || !IsTarget(nPlayerId))
        return false;
    const bool bPair = nFamily == FAMILY_TEXT || nFirst == 0;
    if (nPlayerId == -1)
    {
        pElement->anValue[nFirst] = nA;
        if (bPair)
            pElement->anValue[nFirst + 1] = nB;
    }
    const SFamilyIds& ids = g_aFamilyIds[nFamily];
    CWorldMessage message(nFirst == 0 ? ids.byValues12 : ids.byValues34);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(static_cast<uint8_t>(nId));
    if (nFamily == FAMILY_TEXT)
    {
        stream.Write(static_cast<int16_t>(nA));
        stream.Write(static_cast<int16_t>(nB));
    }
    else
    {
        stream.Write(nA);
        if (bPair)
            stream.Write(nB);
    }
    Send(message, nPlayerId);
    return true;
}

bool CClientElements::SetTextScale(int nId, int nPlayerId, float fScale)
{
    SClientElement* pElement = InUse(FAMILY_TEXT, nId);
    if (!pElement || !IsTarget(nPlayerId))
        return false;
    if (nPlayerId == -1)
        pElement->fScale = fScale;
    CWorldMessage message(ID_TEXT_ELEMENT_SCALE);
    message.Stream().Write(static_cast<uint8_t>(nId));
    message.Stream().Write(fScale);
    Send(message, nPlayerId);
    return true;
}

bool CClientElements::SetTextFlag(int nId, int nPlayerId, int nFlag)
{
    SClientElement* pElement = InUse(FAMILY_TEXT, nId);
    if (!pElement || !IsTarget(nPlayerId))
        return false;
    if (nPlayerId == -1)
        pElement->byFlag = static_cast<uint8_t>(nFlag);
    CWorldMessage message(ID_TEXT_ELEMENT_FLAG);
    message.Stream().Write(static_cast<uint8_t>(nId));
    message.Stream().Write(static_cast<uint8_t>(nFlag));
    Send(message, nPlayerId);
    return true;
}
