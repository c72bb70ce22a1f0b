#pragma once

#include "players/CPlayerSyncWorld.h"

// The player sync's view of the server's vehicle and object pools: one
// adapter that answers each question from the pool that owns the entity.
// CServer installs it once the pools exist and removes it before they go.
class CSyncWorld : public IPlayerSyncWorld
{
public:
    CVehicle* FindVehicle(int nVehicleId) override;
    void GetVehiclePlacement(CVehicle* pVehicle, Vector& vPosition, Quaternion& qRotation) override;
    int GetVehicleModel(CVehicle* pVehicle) override;
    int GetOccupancyState(CVehicle* pVehicle) override;
    void SetOccupancyState(CVehicle* pVehicle, int nState) override;
    int GetAssignedPlayer(CVehicle* pVehicle) override;
    void AssignVehicle(CVehicle* pVehicle, int nSlot) override;
    void ReassignVehicle(CVehicle* pVehicle) override;
    void ApplyDriverSync(CVehicle* pVehicle, int nSlot, const SVehicleSyncRecord& record) override;
    void NoteVehicleSynced(CVehicle* pVehicle) override;
    void BuildDriverRecord(CVehicle* pVehicle, SVehicleSyncRecord& record) override;
    void ApplyExplosion(CVehicle* pVehicle, int nType, const Vector& vPosition, CPlayer* pCause) override;

    bool GetObjectPlacement(int nObjectId, Vector& vPosition, Quaternion& qRotation) override;
};
