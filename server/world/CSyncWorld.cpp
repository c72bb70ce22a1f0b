#include "world/CSyncWorld.h"

#include "CServer.h"
#include "world/CObjectPool.h"

// ---- Vehicles: answered by the vehicle pool --------------------------------
// Until the vehicle pool exists no vehicle can be found, so the sync never
// reaches the other vehicle questions.

CVehicle* CSyncWorld::FindVehicle(int /*nVehicleId*/)
{
    return nullptr;
}

SVehicleSeats* CSyncWorld::GetSeats(CVehicle* /*pVehicle*/)
{
    return nullptr;
}

void CSyncWorld::GetVehiclePlacement(CVehicle* /*pVehicle*/, Vector& /*vPosition*/, Quaternion& /*qRotation*/)
{
}

int CSyncWorld::GetVehicleModel(CVehicle* /*pVehicle*/)
{
    return 0;
}

int CSyncWorld::GetOccupancyState(CVehicle* /*pVehicle*/)
{
    return OCCUPANCY_NONE;
}

void CSyncWorld::SetOccupancyState(CVehicle* /*pVehicle*/, int /*nState*/) {}

int CSyncWorld::GetAssignedPlayer(CVehicle* /*pVehicle*/)
{
    return SEAT_NO_PLAYER;
}

void CSyncWorld::AssignVehicle(CVehicle* /*pVehicle*/, int /*nSlot*/) {}

void CSyncWorld::ReassignVehicle(CVehicle* /*pVehicle*/) {}

void CSyncWorld::ApplyDriverSync(CVehicle* /*pVehicle*/, int /*nSlot*/, const SVehicleSyncRecord& /*record*/)
{
}

void CSyncWorld::NoteVehicleSynced(CVehicle* /*pVehicle*/) {}

void CSyncWorld::BuildDriverRecord(CVehicle* /*pVehicle*/, SVehicleSyncRecord& /*record*/) {}

void CSyncWorld::ApplyExplosion(CVehicle* /*pVehicle*/, int /*nType*/, const Vector& /*vPosition*/,
                                CPlayer* /*pCause*/)
{
}

// ---- Objects: answered by the object pool ----------------------------------
// Where the object is at this moment, moves and turns interpolated, so that a
// player standing on a moving platform is placed on it where it is now.

bool CSyncWorld::GetObjectPlacement(int nObjectId, Vector& vPosition, Quaternion& qRotation)
{
    CObject* pObject =
        g_pServer && g_pServer->m_pObjectPool ? g_pServer->m_pObjectPool->Get(nObjectId) : nullptr;
    if (!pObject)
        return false;
    vPosition = pObject->GetPosition();
    qRotation = pObject->GetRotation();
    return true;
}
