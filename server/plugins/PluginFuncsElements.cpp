#include "plugins/PluginFuncs.h"
#include "world/CClientElements.h"

// Slots 97..110: text elements and named elements, stored and forwarded by
// the client element tables. The show, hide and set slots answer 1 when they
// sent something, 0 for an element not in use or a player id that is neither
// -1 nor a player.

namespace
{
constexpr int TEXT = CClientElements::FAMILY_TEXT;
constexpr int NAMED = CClientElements::FAMILY_NAMED;

CClientElements& Elements()
{
    return *GetClientElements();
}

int32_t CreateTextElement(int32_t nId, const char* szText, int32_t nValue1, int32_t nValue2, int32_t nValue3,
                          int32_t nValue4, float fScale, int32_t nFlag)
{
    const int32_t anValues[4] = {nValue1, nValue2, nValue3, nValue4};
    return Elements().Create(TEXT, nId, szText, anValues, fScale, nFlag);
}

int32_t DestroyTextElement(int32_t nId)
{
    return Elements().Destroy(TEXT, nId) ? 1 : 0;
}

int32_t ShowTextElement(int32_t nId, int32_t nPlayerId)
{
    return Elements().Show(TEXT, nId, nPlayerId) ? 1 : 0;
}

int32_t HideTextElement(int32_t nId, int32_t nPlayerId)
{
    return Elements().Hide(TEXT, nId, nPlayerId) ? 1 : 0;
}

int32_t SetTextElementValues12(int32_t nId, int32_t nPlayerId, int32_t nValue1, int32_t nValue2)
{
    return Elements().SetValues(TEXT, nId, nPlayerId, 0, nValue1, nValue2) ? 1 : 0;
}

int32_t SetTextElementValues34(int32_t nId, int32_t nPlayerId, int32_t nValue3, int32_t nValue4)
{
    return Elements().SetValues(TEXT, nId, nPlayerId, 2, nValue3, nValue4) ? 1 : 0;
}

int32_t SetTextElementScale(int32_t nId, int32_t nPlayerId, float fScale)
{
    return Elements().SetTextScale(nId, nPlayerId, fScale) ? 1 : 0;
}

int32_t SetTextElementFlag(int32_t nId, int32_t nPlayerId, int32_t nFlag)
{
    return Elements().SetTextFlag(nId, nPlayerId, nFlag) ? 1 : 0;
}

int32_t CreateNamedElement(int32_t nId, const char* szText, int32_t nValue1, int32_t nValue2, int32_t nValue3)
{
    const int32_t anValues[4] = {nValue1, nValue2, nValue3, 0};
    return Elements().Create(NAMED, nId, szText, anValues, 0.0f, 0);
}

int32_t DestroyNamedElement(int32_t nId)
{
    return Elements().Destroy(NAMED, nId) ? 1 : 0;
}

int32_t ShowNamedElement(int32_t nId, int32_t nPlayerId)
{
    return Elements().Show(NAMED, nId, nPlayerId) ? 1 : 0;
}

int32_t HideNamedElement(int32_t nId, int32_t nPlayerId)
{
    return Elements().Hide(NAMED, nId, nPlayerId) ? 1 : 0;
}

int32_t SetNamedElementValues12(int32_t nId, int32_t nPlayerId, int32_t nValue1, int32_t nValue2)
{
    return Elements().SetValues(NAMED, nId, nPlayerId, 0, nValue1, nValue2) ? 1 : 0;
}

int32_t SetNamedElementValue3(int32_t nId, int32_t nPlayerId, int32_t nValue3)
{
    return Elements().SetValues(NAMED, nId, nPlayerId, 2, nValue3, 0) ? 1 : 0;
}
} // namespace

void FillElementFuncs(PluginFuncs* pFuncs)
{
    pFuncs->CreateTextElement = CreateTextElement;
    pFuncs->DestroyTextElement = DestroyTextElement;
    pFuncs->ShowTextElement = ShowTextElement;
    pFuncs->HideTextElement = HideTextElement;
    pFuncs->SetTextElementValues12 = SetTextElementValues12;
    pFuncs->SetTextElementValues34 = SetTextElementValues34;
    pFuncs->SetTextElementScale = SetTextElementScale;
    pFuncs->SetTextElementFlag = SetTextElementFlag;
    pFuncs->CreateNamedElement = CreateNamedElement;
    pFuncs->DestroyNamedElement = DestroyNamedElement;
    pFuncs->ShowNamedElement = ShowNamedElement;
    pFuncs->HideNamedElement = HideNamedElement;
    pFuncs->SetNamedElementValues12 = SetNamedElementValues12;
    pFuncs->SetNamedElementValue3 = SetNamedElementValue3;
}
