#include "world/CSyncWorld.h"

#include "CServer.h"
#include "world/CObjectPool.h"
#include "world/CVehicle.h"
#include "world/CVehiclePool.h"

// ---- Vehicles: answered by the vehicle pool --------------------------------

namespace
{
CVehiclePool* Vehicles()
{
    return g_pServer ? g_pServer->m_pVehiclePool : nullptr;
}
} // namespace

CVehicle* CSyncWorld::FindVehicle(int nVehicleId)
{
    CVehiclePool* pPool = Vehicles();
    return pPool ? pPool->Get(nVehicleId) : nullptr;
}

void CSyncWorld::GetVehiclePlacement(CVehicle* pVehicle, Vector& vPosition, Quaternion& qRotation)
{
    vPosition = pVehicle->m_vPosition;
    qRotation = pVehicle->m_qRotation;
}

int CSyncWorld::GetVehicleModel(CVehicle* pVehicle)
{
    return pVehicle->m_byModel;
}

int CSyncWorld::GetOccupancyState(CVehicle* pVehicle)
{
    return pVehicle->m_nOccupancyState;
}

void CSyncWorld::SetOccupancyState(CVehicle* pVehicle, int nState)
{
    if (!pVehicle->IsMarkedForDeletion())
        pVehicle->m_nOccupancyState = nState;
}

int CSyncWorld::GetAssignedPlayer(CVehicle* pVehicle)
{
    return pVehicle->m_byAssignedPlayer;
}

void CSyncWorld::AssignVehicle(CVehicle* pVehicle, int nSlot)
{
    pVehicle->Assign(nSlot);
}

void CSyncWorld::ReassignVehicle(CVehicle* pVehicle)
{
    pVehicle->Reassign();
}

void CSyncWorld::ApplyDriverSync(CVehicle* pVehicle, int nSlot, const SVehicleSyncRecord& record)
{
    pVehicle->ApplyUnoccupiedSync(nSlot, record);
}

// Every accepted driver or passenger sync counts as use of the vehicle.
void CSyncWorld::NoteVehicleSynced(CVehicle* pVehicle)
{
    if (!pVehicle->IsMarkedForDeletion() && g_pServer)
        pVehicle->m_uiLastUsed = g_pServer->m_uiNow;
}

void CSyncWorld::BuildDriverRecord(CVehicle* pVehicle, SVehicleSyncRecord& record)
{
    pVehicle->BuildSyncRecord(record);
}

void CSyncWorld::ApplyExplosion(CVehicle* pVehicle, int nType, const Vector& vPosition, CPlayer* pCause)
{
    pVehicle->ApplyExplosion(nType, vPosition, pCause);
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
