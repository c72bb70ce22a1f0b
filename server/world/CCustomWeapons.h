#pragma once

#include <cstdint>

class CNetFileList;

// The custom weapons 100..249: each takes a weapon slot 0..9 and behaves as a
// base weapon. They are declared by the names of store files under
// "weapons/", read once at start-up. One instance, inside CServer.
class CCustomWeapons
{
public:
    static constexpr int FIRST_ID = 100;
    static constexpr int LAST_ID = 249;
    static constexpr int FREE_SLOT = 10;

    CCustomWeapons() { Reset(); }

    // Every identifier free: slot 10, base weapon -1.
    void Reset();
    // Registers every "weapons/w<id>_s<slot>_l<base>_*.7z" of the list that
    // clients are offered, in the list's order; malformed names, files not
    // offered and taken identifiers are reported and skipped.
    void Load(const CNetFileList& files);

    // Slot 0..9 of a registered identifier; 10 when free or out of range.
    int GetSlot(int nWeapon) const;
    // Base weapon of a registered identifier; -1 when free or out of range.
    int GetBase(int nWeapon) const;

    // Parses a file name (the part after the last '/' or '\'); false unless
    // it has the custom weapon form with every number in range.
    static bool ParseName(const char* szFileName, int& nId, int& nSlot, int& nBase);

private:
    void LoadPath(const char* szPath, bool bOffered);

    struct SWeapon
    {
        int32_t nSlot;
        int32_t nBase;
    };
    SWeapon m_aWeapons[LAST_ID - FIRST_ID + 1];
};
