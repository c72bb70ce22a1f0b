#pragma once

#include <cstdint>

#include "world/CHandlingRules.h"
#include "world/CVehicle.h"
#include "world/IStreamVehicleSource.h"

class CPlayer;

// Owns every vehicle (slots 1..1000, the lowest free slot taken), keeps the
// active list (every live vehicle, newest first), runs the per-tick
// processing and holds the per-model handling overrides. One instance,
// created by CServer after the streamer and destroyed before it. It is the
// streamer's vehicle source.
class CVehiclePool : public IStreamVehicleSource
{
public:
    CVehiclePool();
    ~CVehiclePool() override;
    CVehiclePool(const CVehiclePool&) = delete;
    CVehiclePool& operator=(const CVehiclePool&) = delete;

    // The vehicle id, or 0 for a refused model or a full pool. Raises
    // OnEntityPoolChange (1, id, 0) once the vehicle exists.
    int Create(int nModel, int nWorld, const Vector& vPosition, float fAngle, int nColour1, int nColour2);
    // True when the vehicle was destroyed now; false for an empty slot and
    // while it is locked (it goes at the last release).
    bool Delete(int nVehicleId);
    // Shutdown: every later Create is refused, then every vehicle goes.
    void Close();
    // Null outside 1..1000 or for an empty slot.
    CVehicle* Get(int nVehicleId) const;
    int Count() const { return m_nCount; }
    // Once per tick: every vehicle in active-list order.
    void Process();

    // Called by the vehicle itself during construction and destruction.
    void Attach(int nVehicleId, CVehicle* pVehicle);
    void Detach(int nVehicleId);
    void LinkFront(SVehicleListNode* pNode);
    void Unlink(SVehicleListNode* pNode);
    uint32_t TakeSerial() { return ++m_uiLastSerial; }

    // Handling overrides of the models and of single vehicles. Setters are
    // false for a model or rule out of range; getters fall back from the
    // vehicle to the model to the default table.
    bool SetModelRule(int nModel, int nRule, double dValue);
    bool ModelRuleExists(int nModel, int nRule) const;
    double GetModelRule(int nModel, int nRule) const;
    void ResetModelRule(int nModel, int nRule);
    void ResetModel(int nModel);
    void ResetAllRules();
    bool SetVehicleRule(CVehicle* pVehicle, int nRule, double dValue);
    bool VehicleRuleExists(CVehicle* pVehicle, int nRule) const;
    double GetVehicleRule(CVehicle* pVehicle, int nRule) const;
    void ResetVehicleRule(CVehicle* pVehicle, int nRule);
    void ResetVehicleRules(CVehicle* pVehicle);
    // Every model override to a newly created player; a vehicle's own
    // overrides right after its create message.
    void SendModelRulesTo(CPlayer* pPlayer) const;
    void SendVehicleRulesTo(CPlayer* pPlayer, const CVehicle* pVehicle) const;

    // IStreamVehicleSource
    bool GetStreamState(int nId, Vector& vPosition, int& nWorld) const override;
    int GetStreamId(const void* pEntity) const override;
    void SendStreamIn(int nId, CPlayer* pObserver) override;
    void SendStreamOut(int nId, CPlayer* pObserver) override;
    bool GetSeats(int nId, uint8_t abySeats[SEAT_COUNT]) const override;
    int GetAssignedPlayer(int nId) const override;
    int GetOccupancyState(int nId) const override;
    void Reassign(int nId) override;
    void ReleaseAssignment(int nId) override;
    void OfferNearestPlayer(int nId, int nSlot, float fDistance) override;
    int GetActiveVehicles(int* pnIds, int nMax) const override;

private:
    void SendToObservers(const CVehicle* pVehicle, const SHandlingEntry& entry) const;

    // Owning pointers; slot 0 is never used.
    CVehicle* m_apVehicles[VEHICLE_ID_LAST + 1];
    int m_nCount;
    // Sentinel of the active list; linked to itself while empty.
    SVehicleListNode m_ListHead;
    uint32_t m_uiLastSerial;
    // Model overrides live until reset or until the server stops.
    CHandlingMap m_ModelRules;
    // Set by Close for the rest of the pool's life.
    bool m_bClosed;
};
