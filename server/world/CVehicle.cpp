#include "world/CVehicle.h"

#include <cstdlib>
#include <type_traits>

#include "CServer.h"
#include "players/CPlayer.h"
#include "players/CPlayerPool.h"
#include "players/CPlayerSync.h"
#include "players/CPlayerSyncRecords.h"
#include "players/PlayerMessages.h"
#include "plugins/CPluginManager.h"
#include "world/CStreamer.h"
#include "world/CVehiclePool.h"
#include "world/VehicleMessages.h"

namespace
{
constexpr uint32_t WRECK_RESPAWN_DELAY = 5000;
constexpr uint32_t HEIGHT_CHECK_INTERVAL = 500;
constexpr uint32_t HEIGHT_CHECK_IDLE = 3000;
constexpr float HEIGHT_CHECK_FLOOR = -50.0f;
constexpr uint32_t REPORT_FLAG_RESPAWN = 8000;
constexpr uint32_t DAMAGE_LOCK_TIME = 2000;
constexpr float EXPLOSION_RANGE = 150.0f;
constexpr uint32_t NO_CAUSE_ID = 0xFFFFFFFFu;
constexpr int PART_LAST = 10;
constexpr int DOOR_LAST = 4;
constexpr int DOOR_FIRST_BIT = 22;
constexpr float REASSIGN_MARGIN = 5.0f;
constexpr float REASSIGN_FACTOR = 2.5f;

// Models whose class is 2 or 1; every other model is class 0.
const uint8_t g_abyClass2Models[] = {136, 160, 176, 182, 183, 184, 190, 202, 203, 214, 223};
const uint8_t g_abyClass1Models[] = {166, 178, 191, 192, 193, 198};

CStreamer* Streamer()
{
    return g_pServer ? g_pServer->m_pStreamer : nullptr;
}

uint32_t Now()
{
    return g_pServer ? g_pServer->m_uiNow : 0;
}

// A deadline of 0 means "none", so a sum that wraps to 0 moves on by one.
uint32_t DeadlineAfter(uint32_t uiDelay)
{
    const uint32_t uiAt = Now() + uiDelay;
    return uiAt != 0 ? uiAt : 1;
}

// Initial station: 0..9, with 9 replaced by 10.
uint8_t RandomStation()
{
    const int nStation = std::rand() % 10;
    return static_cast<uint8_t>(nStation == 9 ? 10 : nStation);
}

template <size_t N> bool Contains(const uint8_t (&aby)[N], int nValue)
{
    for (uint8_t by : aby)
    {
        if (by == nValue)
            return true;
    }
    return false;
}

// The holder and state bytes of a seat (const or not, as the record is);
// nulls for a seat number that names none.
template <typename TByte> struct SSeatBytes
{
    TByte* pbyHolder;
    TByte* pbyState;
};

template <typename TSeats> auto SeatBytesOf(TSeats& seats, int nSeat)
{
    using TByte = std::remove_pointer_t<decltype(&seats.byDriver)>;
    if (nSeat == VEHICLE_DRIVER_SEAT)
        return SSeatBytes<TByte>{&seats.byDriver, &seats.byDriverState};
    if (nSeat >= 0 && nSeat < VEHICLE_PASSENGER_SEATS)
        return SSeatBytes<TByte>{&seats.abyPassenger[nSeat], &seats.abyPassengerState[nSeat]};
    return SSeatBytes<TByte>{nullptr, nullptr};
}

void ClearSeats(SVehicleSeats& seats)
{
    for (int i = 0; i < VEHICLE_DOOR_COUNT; ++i)
    {
        seats.abyDoorState[i] = SEAT_FREE;
        seats.abyDoorPlayer[i] = SEAT_NO_PLAYER;
    }
    seats.byDriver = SEAT_NO_PLAYER;
    seats.byDriverState = SEAT_FREE;
    for (int i = 0; i < VEHICLE_PASSENGER_SEATS; ++i)
    {
        seats.abyPassengerState[i] = SEAT_FREE;
        seats.abyPassenger[i] = SEAT_NO_PLAYER;
    }
}
} // namespace

// ---------------------------------------------------------------------------
// Life cycle

CVehicle::CVehicle(uint16_t wId) : m_pPool(nullptr), m_wId(wId), m_uiSerial(0), m_pGrid(nullptr)
{
    SetDefaults();
}

// Construction in its order: links, grid, the arguments, the rest of the
// record, then the streamer decides who sees the new vehicle.
CVehicle::CVehicle(CVehiclePool* pPool, uint16_t wId, uint8_t byModel, int nWorld, const Vector& vPosition,
                   float fAngle, uint8_t byColour1, uint8_t byColour2)
    : m_pPool(pPool), m_wId(wId), m_uiSerial(pPool->TakeSerial()), m_pGrid(nullptr)
{
    m_PoolNode.pEntity = this;
    m_pPool->Attach(wId, this);
    m_pPool->LinkFront(&m_PoolNode);
    CStreamer* pStreamer = Streamer();
    m_pGrid = pStreamer ? pStreamer->GetVehicleGrid() : nullptr;
    SetDefaults();
    m_usWorld = static_cast<uint16_t>(nWorld < 1 ? 1 : (nWorld > 65535 ? 65535 : nWorld));
    m_vSpawnPosition = vPosition;
    CServer::ClampToWorld(m_vSpawnPosition);
    m_byModel = byModel;
    m_byColour1 = byColour1;
    m_byColour2 = byColour2;
    m_byRadioStation = RandomStation();
    m_qSpawnRotation.FromEuler(Vector(0.0f, 0.0f, fAngle));
    m_nVehicleClass = ClassOfModel(byModel);
    m_uiLastUsed = Now();
    m_qRotation = m_qSpawnRotation;
    SetPosition(m_vSpawnPosition, false, false);
    if (pStreamer)
        pStreamer->UpdateVehicle(m_wId);
}

void CVehicle::SetDefaults()
{
    m_GridLink = SGridLink();
    m_byModel = 0;
    m_usWorld = 1;
    m_nVehicleClass = 0;
    m_byColour1 = 0;
    m_byColour2 = 0;
    m_byRadioStation = 0;
    m_bRadioFlag = false;
    m_vSpawnPosition = Vector();
    m_qSpawnRotation = Quaternion();
    m_bWrecked = false;
    m_byOptionByte = 0;
    m_uiWreckRespawnAt = 0;
    m_usSpawnCounter = 0;
    m_qRotation = Quaternion();
    m_vPosition = Vector();
    m_vSpeed = Vector();
    m_vTurnSpeed = Vector();
    m_bLocked = false;
    m_uiDamage = 0;
    m_uiDamageLockUntil = 0;
    m_fHealth = VEHICLE_FULL_HEALTH;
    m_bDriverUpdatePending = false;
    m_bUnoccupiedUpdatePending = false;
    m_nOccupancyState = OCCUPANCY_NONE;
    m_byAssignedPlayer = VEHICLE_NO_PLAYER;
    m_byOptionFlags = 0;
    m_usSyncWord = 0;
    m_uiLastHeightCheck = 0;
    m_bRespawned = false;
    m_uiLastUsed = 0;
    m_uiIdleRespawnTime = 0;
    m_bReportFlag = false;
    m_uiReportFlagSince = 0;
    ClearSeats(m_Seats);
}

// Destruction in its order; the slot is freed last, so plugins hearing of
// the occupants' exits and of the pool change still find the vehicle.
CVehicle::~CVehicle()
{
    if (!m_pPool)
        return;
    if (m_pGrid)
        m_pGrid->Remove(m_GridLink);
    if (CStreamer* pStreamer = Streamer())
        pStreamer->RemoveVehicle(m_wId);
    if (g_pPluginManager)
        g_pPluginManager->OnEntityPoolChange(ORVN_ENTITY_VEHICLE, m_wId, true);
    m_pPool->Unlink(&m_PoolNode);
    m_pPool->Detach(m_wId);
}

bool CVehicle::IsValidModel(int nModel)
{
    return nModel >= HANDLING_MODEL_FIRST && nModel <= HANDLING_MODEL_LAST && nModel != 165 &&
           nModel != 180 && nModel != 181;
}

int CVehicle::ClassOfModel(int nModel)
{
    if (Contains(g_abyClass2Models, nModel))
        return 2;
    return Contains(g_abyClass1Models, nModel) ? 1 : 0;
}

CPlayer* CVehicle::PlayerAt(int nSlot)
{
    CPlayer* pPlayer = g_pServer && g_pServer->m_pPlayerPool ? g_pServer->m_pPlayerPool->Get(nSlot) : nullptr;
    return pPlayer && !pPlayer->IsMarkedForDeletion() ? pPlayer : nullptr;
}

uint8_t CVehicle::GetOccupant(int nSeat) const
{
    return nSeat >= 0 ? GetSeatHolder(nSeat - 1) : VEHICLE_NO_PLAYER;
}

// ---------------------------------------------------------------------------
// Seats and doors

bool CVehicle::ReserveSeat(uint8_t bySlot, int nSeat, uint8_t byDoor)
{
    const auto seat = SeatBytesOf(m_Seats, nSeat);
    const bool bWithDoor = byDoor < VEHICLE_DOOR_COUNT;
    if (!seat.pbyHolder || *seat.pbyState != SEAT_FREE || (bWithDoor && !IsDoorFree(byDoor)))
        return false;
    if (bWithDoor)
    {
        m_Seats.abyDoorPlayer[byDoor] = bySlot;
        m_Seats.abyDoorState[byDoor] = DOOR_RESERVED;
    }
    *seat.pbyHolder = bySlot;
    *seat.pbyState = SEAT_RESERVED;
    return true;
}

bool CVehicle::CompleteEntry(uint8_t bySlot, int nSeat, uint8_t byDoor)
{
    const auto seat = SeatBytesOf(m_Seats, nSeat);
    if (!seat.pbyHolder || *seat.pbyHolder != bySlot || *seat.pbyState != SEAT_RESERVED)
        return false;
    const bool bDoorHeld = byDoor == ENTRY_SEAT_NO_DOOR ||
                           (byDoor < VEHICLE_DOOR_COUNT && m_Seats.abyDoorState[byDoor] == DOOR_RESERVED &&
                            m_Seats.abyDoorPlayer[byDoor] == bySlot);
    if (!bDoorHeld)
        return false;
    *seat.pbyState = SEAT_OCCUPIED;
    ReleaseDoor(bySlot, byDoor);
    return true;
}

bool CVehicle::ReleaseDoor(uint8_t bySlot, uint8_t byDoor)
{
    if (byDoor >= VEHICLE_DOOR_COUNT || m_Seats.abyDoorPlayer[byDoor] != bySlot ||
        m_Seats.abyDoorState[byDoor] != DOOR_RESERVED)
        return false;
    m_Seats.abyDoorState[byDoor] = SEAT_FREE;
    m_Seats.abyDoorPlayer[byDoor] = SEAT_NO_PLAYER;
    return true;
}

bool CVehicle::ReleaseSeat(uint8_t bySlot, int nSeat)
{
    const auto seat = SeatBytesOf(m_Seats, nSeat);
    if (!seat.pbyHolder || *seat.pbyHolder != bySlot || *seat.pbyState == SEAT_FREE)
        return false;
    *seat.pbyHolder = SEAT_NO_PLAYER;
    *seat.pbyState = SEAT_FREE;
    return true;
}

bool CVehicle::IsSeatFree(int nSeat) const
{
    const auto seat = SeatBytesOf(m_Seats, nSeat);
    return seat.pbyState && *seat.pbyState == SEAT_FREE;
}

bool CVehicle::IsDoorFree(int nDoor) const
{
    return nDoor >= 0 && nDoor < VEHICLE_DOOR_COUNT && m_Seats.abyDoorState[nDoor] == SEAT_FREE;
}

uint8_t CVehicle::GetSeatHolder(int nSeat) const
{
    const auto seat = SeatBytesOf(m_Seats, nSeat);
    return seat.pbyHolder ? *seat.pbyHolder : SEAT_NO_PLAYER;
}

bool CVehicle::IsSeated(uint8_t bySlot, int nSeat) const
{
    const auto seat = SeatBytesOf(m_Seats, nSeat);
    return seat.pbyHolder && *seat.pbyHolder == bySlot && *seat.pbyState == SEAT_OCCUPIED;
}

void CVehicle::RaiseUpdate(int nKind)
{
    CEntityLock lock(this);
    if (g_pPluginManager)
        g_pPluginManager->OnVehicleUpdate(this, nKind);
}

// ---------------------------------------------------------------------------
// Setters

void CVehicle::SetPosition(const Vector& vPosition, bool bRemoveOccupants, bool bNotify)
{
    if (IsMarkedForDeletion())
        return;
    m_vPosition = vPosition;
    CServer::ClampToWorld(m_vPosition);
    if (m_pGrid)
        m_pGrid->Move(this, m_GridLink, m_vPosition.x, m_vPosition.y);
    if (!bNotify)
        return;
    CEntityLock lock(this);
    if (bRemoveOccupants)
        RemoveOccupants();
    if (IsMarkedForDeletion())
        return;
    if (CStreamer* pStreamer = Streamer())
        pStreamer->UpdateVehicle(m_wId);
    if (IsMarkedForDeletion())
        return;
    SendVehicleState(this, ID_VEHICLE_POSITION);
    RaiseUpdate(VEHICLE_UPDATE_POSITION);
}

// Driver first, then the passengers: each is put back at its own position,
// which its client is told, and leaves the vehicle.
void CVehicle::RemoveOccupants()
{
    for (int nSeat = 0; nSeat < VEHICLE_SEAT_COUNT && !IsMarkedForDeletion(); ++nSeat)
    {
        CPlayer* pPlayer = PlayerAt(GetOccupant(nSeat));
        if (!pPlayer)
            continue;
        CEntityLock lock(pPlayer);
        pPlayer->SetPosition(pPlayer->m_vPosition, true);
        if (!pPlayer->IsMarkedForDeletion())
            ProcessVehicleExit(pPlayer, true);
    }
}

void CVehicle::SetSpawnPosition(const Vector& vPosition)
{
    if (IsMarkedForDeletion())
        return;
    m_vSpawnPosition = vPosition;
    CServer::ClampToWorld(m_vSpawnPosition);
}

void CVehicle::SetSpawnRotation(const Quaternion& qRotation)
{
    if (!IsMarkedForDeletion())
        m_qSpawnRotation = qRotation;
}

void CVehicle::SetRotation(const Quaternion& qRotation, bool bNotify)
{
    if (IsMarkedForDeletion())
        return;
    m_qRotation = qRotation;
    if (!bNotify)
        return;
    SendVehicleState(this, ID_VEHICLE_ROTATION);
    RaiseUpdate(VEHICLE_UPDATE_ROTATION);
}

void CVehicle::SetRotationByAngle(float fAngle)
{
    Quaternion qRotation;
    qRotation.FromEuler(Vector(0.0f, 0.0f, fAngle));
    SetRotation(qRotation, true);
}

void CVehicle::SetColours(uint8_t byColour1, uint8_t byColour2)
{
    if (IsMarkedForDeletion())
        return;
    m_byColour1 = byColour1;
    m_byColour2 = byColour2;
    SendVehicleState(this, ID_VEHICLE_COLOURS);
    RaiseUpdate(VEHICLE_UPDATE_COLOURS);
}

void CVehicle::SetHealth(float fHealth, bool bNotify)
{
    if (IsMarkedForDeletion())
        return;
    m_fHealth = fHealth;
    if (!bNotify)
        return;
    SendVehicleState(this, ID_VEHICLE_HEALTH);
    RaiseUpdate(VEHICLE_UPDATE_HEALTH);
}

// Worlds are 16-bit and never 0, as for players.
void CVehicle::SetWorld(int nWorld)
{
    if (IsMarkedForDeletion())
        return;
    const uint16_t usWorld = static_cast<uint16_t>(nWorld < 1 ? 1 : (nWorld > 65535 ? 65535 : nWorld));
    if (usWorld == m_usWorld)
        return;
    m_usWorld = usWorld;
    CEntityLock lock(this);
    if (CStreamer* pStreamer = Streamer())
        pStreamer->UpdateVehicle(m_wId);
}

int CVehicle::GetPartDamage(uint32_t uiDamage, int nPart)
{
    return nPart >= 0 && nPart <= PART_LAST ? static_cast<int>((uiDamage >> (2 * nPart)) & 3) : 0;
}

int CVehicle::GetDoorDamage(uint32_t uiDamage, int nDoor)
{
    return nDoor >= 0 && nDoor <= DOOR_LAST ? static_cast<int>((uiDamage >> (DOOR_FIRST_BIT + 2 * nDoor)) & 3)
                                            : 0;
}

bool CVehicle::SetPartDamage(int nPart, int nState)
{
    return nPart >= 0 && nPart <= PART_LAST && SetDamageBits(2 * nPart, nState);
}

bool CVehicle::SetDoorDamage(int nDoor, int nState)
{
    return nDoor >= 0 && nDoor <= DOOR_LAST && SetDamageBits(DOOR_FIRST_BIT + 2 * nDoor, nState);
}

// One 2-bit state of the damage word; the rest of the word is kept.
bool CVehicle::SetDamageBits(int nShift, int nState)
{
    if (IsMarkedForDeletion())
        return true;
    m_uiDamage = (m_uiDamage & ~(3u << nShift)) | ((static_cast<uint32_t>(nState) & 3u) << nShift);
    SendDamage();
    return true;
}

void CVehicle::SetDamage(uint32_t uiDamage)
{
    if (IsMarkedForDeletion() || uiDamage == m_uiDamage)
        return;
    m_uiDamage = uiDamage;
    SendDamage();
}

void CVehicle::SetOptionFlag(int nBit, bool bOn)
{
    if (IsMarkedForDeletion() || nBit < 0 || nBit > 2 || GetOptionFlag(nBit) == bOn)
        return;
    m_byOptionFlags =
        static_cast<uint8_t>(bOn ? (m_byOptionFlags | (1u << nBit)) : (m_byOptionFlags & ~(1u << nBit)));
    SendVehicleState(this, ID_VEHICLE_OPTIONS);
}

void CVehicle::SetOptionByte(uint8_t byValue)
{
    if (IsMarkedForDeletion())
        return;
    m_byOptionByte = byValue;
    SendVehicleState(this, ID_VEHICLE_OPTIONS);
}

void CVehicle::SetLocked(bool bLocked)
{
    if (!IsMarkedForDeletion())
        m_bLocked = bLocked;
}

void CVehicle::SetIdleRespawnTime(uint32_t uiMs)
{
    if (!IsMarkedForDeletion())
        m_uiIdleRespawnTime = uiMs;
}

// A player may only retune the vehicle it is in and simulates; the others
// inside hear the new station.
void CVehicle::SetRadioStation(int nStation, CPlayer* pBy)
{
    const uint8_t byStation = static_cast<uint8_t>(
        nStation < 0 ? 0 : (nStation > MAX_RADIO_STATION ? MAX_RADIO_STATION : nStation));
    if (byStation == m_byRadioStation)
        return;
    if (pBy && (pBy->m_usEntryVehicle != m_wId || pBy->GetSlot() != m_byAssignedPlayer))
        return;
    m_byRadioStation = byStation;
    SendVehicleRadio(this, pBy ? pBy->GetSlot() : -1);
}

void CVehicle::SetRadioFlag(bool bOn)
{
    if (bOn == m_bRadioFlag)
        return;
    m_bRadioFlag = bOn;
    SendVehicleRadio(this, -1);
}

// ---------------------------------------------------------------------------
// Explode, respawn, explosions

// A client may only report the vehicle it simulates; a second report of the
// same wreck changes nothing.
bool CVehicle::Explode(CPlayer* pBy)
{
    if (IsMarkedForDeletion())
        return false;
    if (pBy && (PlayerAt(pBy->GetSlot()) != pBy || pBy->GetSlot() != m_byAssignedPlayer))
        return false;
    if (m_bWrecked)
        return false;
    SendVehicleState(this, ID_VEHICLE_EXPLODE);
    m_uiWreckRespawnAt = DeadlineAfter(WRECK_RESPAWN_DELAY);
    m_bWrecked = true;
    CEntityLock lock(this);
    if (g_pPluginManager)
        g_pPluginManager->OnVehicleExplode(this);
    return true;
}

// Streamed out everywhere (which empties the seats), reset to the spawn
// point, streamed in again; OnVehicleRespawn follows in the next processing.
void CVehicle::Respawn()
{
    if (IsMarkedForDeletion())
        return;
    CEntityLock lock(this);
    CStreamer* pStreamer = Streamer();
    if (pStreamer)
        pStreamer->RemoveVehicle(m_wId);
    if (IsMarkedForDeletion())
        return;
    ++m_usSpawnCounter;
    m_qRotation = m_qSpawnRotation;
    SetPosition(m_vSpawnPosition, false, false);
    m_fHealth = VEHICLE_FULL_HEALTH;
    m_bWrecked = false;
    m_uiDamage = 0;
    if (pStreamer)
        pStreamer->UpdateVehicle(m_wId);
    m_bRespawned = true;
    m_bDriverUpdatePending = false;
    m_bUnoccupiedUpdatePending = false;
    m_uiLastUsed = Now();
}

void CVehicle::ApplyExplosion(int nType, const Vector& vPosition, CPlayer* pCause)
{
    CStreamer* pStreamer = Streamer();
    if (IsMarkedForDeletion() || !pStreamer)
        return;
    struct SHit
    {
        CVehicle* pVehicle;
        CStreamer* pStreamer;
        uint8_t byType;
        Vector vPosition;
        Vector vRelative;
        uint32_t uiCauseId;
    } hit{this,
          pStreamer,
          static_cast<uint8_t>(nType),
          vPosition,
          m_qRotation.InverseRotate(vPosition - m_vPosition),
          pCause ? pCause->GetPlayerId() : NO_CAUSE_ID};
    pStreamer->ForEachPlayerInArea(
        vPosition.x, vPosition.y, EXPLOSION_RANGE,
        [](CPlayer* pPlayer, void* pUser)
        {
            const SHit& h = *static_cast<const SHit*>(pUser);
            if (!pPlayer->IsWorldVisible(h.pVehicle->m_usWorld))
                return;
            const int nId = h.pVehicle->GetId();
            if (h.pStreamer->IsVehicleStreamed(pPlayer, nId))
                SendExplosion(pPlayer, h.byType, h.vRelative, h.uiCauseId, 0, static_cast<uint16_t>(nId));
            else
                SendExplosion(pPlayer, h.byType, h.vPosition, h.uiCauseId, 0, 0);
        },
        &hit);
}

// ---------------------------------------------------------------------------
// Per-tick processing

void CVehicle::Process()
{
    if (IsMarkedForDeletion())
        return;
    CEntityLock lock(this);
    ExpireDamageLock(Now());
    if (!ProcessRespawnRules(Now()))
        return;
    if (m_bUnoccupiedUpdatePending)
    {
        m_bUnoccupiedUpdatePending = false;
        RelayUnoccupiedSync();
        RaiseUpdate(VEHICLE_UPDATE_UNOCCUPIED);
    }
    else if (m_bDriverUpdatePending)
    {
        m_bDriverUpdatePending = false;
        RaiseUpdate(VEHICLE_UPDATE_DRIVER);
    }
    if (IsMarkedForDeletion() || !m_bRespawned)
        return;
    m_bRespawned = false;
    if (g_pPluginManager)
        g_pPluginManager->OnVehicleRespawn(this);
}

// Steps 1 to 4: the wreck, the height check, idle time and the report flag.
// A respawn in the first three sets m_bRespawned, so the later ones skip.
// False once the vehicle was deleted on the way.
bool CVehicle::ProcessRespawnRules(uint32_t uiNow)
{
    if (!m_bRespawned && m_bWrecked && m_uiWreckRespawnAt != 0 && ClockPassed(uiNow, m_uiWreckRespawnAt))
        Respawn();
    if (IsMarkedForDeletion())
        return false;
    if (uiNow - m_uiLastHeightCheck > HEIGHT_CHECK_INTERVAL)
    {
        const float fCeiling = g_pServer ? g_pServer->m_fVehicleRespawnHeight : 200.0f;
        if (!m_bRespawned && uiNow - m_uiLastUsed > HEIGHT_CHECK_IDLE &&
            (m_vPosition.z < HEIGHT_CHECK_FLOOR || m_vPosition.z > fCeiling))
            Respawn();
        if (IsMarkedForDeletion())
            return false;
        m_uiLastHeightCheck = uiNow;
    }
    if (!m_bRespawned && m_uiIdleRespawnTime > 0 && uiNow - m_uiLastUsed > m_uiIdleRespawnTime)
        Respawn();
    if (IsMarkedForDeletion())
        return false;
    if (m_bReportFlag && uiNow - m_uiReportFlagSince >= REPORT_FLAG_RESPAWN)
    {
        if (IsInUse())
            m_uiReportFlagSince = uiNow;
        else
        {
            Respawn();
            m_bReportFlag = false;
            m_uiReportFlagSince = 0;
        }
    }
    return !IsMarkedForDeletion();
}

bool CVehicle::IsInUse() const
{
    if (m_nOccupancyState == OCCUPANCY_DRIVER || m_nOccupancyState == OCCUPANCY_PASSENGER)
        return true;
    if (m_nOccupancyState != OCCUPANCY_NEAREST || !g_pServer || !g_pServer->m_pPlayerPool)
        return false;
    for (int nSlot = 0; nSlot < MAX_PLAYER_SLOTS; ++nSlot)
    {
        const CPlayer* pPlayer = g_pServer->m_pPlayerPool->Get(nSlot);
        if (pPlayer && pPlayer->m_usSurfaceId == m_wId)
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Assignment

// 250 to the old player first, then 251 to the new one while the vehicle has
// an occupancy state.
void CVehicle::NotifyAssignment(int nOld, int nNew)
{
    if (nOld == nNew)
        return;
    if (PlayerAt(nOld))
        SendVehicleToPlayer(this, ID_VEHICLE_ASSIGNMENT_LOST, nOld);
    if (PlayerAt(nNew) && m_nOccupancyState != OCCUPANCY_NONE)
        SendVehicleToPlayer(this, ID_VEHICLE_ASSIGNMENT_GAINED, nNew);
}

void CVehicle::Assign(int nSlot)
{
    if (IsMarkedForDeletion())
        return;
    if (!PlayerAt(nSlot))
    {
        Reassign();
        return;
    }
    NotifyAssignment(m_byAssignedPlayer, nSlot);
    m_byAssignedPlayer = static_cast<uint8_t>(nSlot);
}

// The seated driver, else the first seated passenger, else nobody, and then
// the nearest player at once if somebody had it.
void CVehicle::Reassign()
{
    if (IsMarkedForDeletion())
        return;
    if (PlayerAt(m_Seats.byDriver) && m_Seats.byDriverState == SEAT_OCCUPIED)
    {
        Assign(m_Seats.byDriver);
        m_nOccupancyState = OCCUPANCY_DRIVER;
        return;
    }
    for (int i = 0; i < VEHICLE_PASSENGER_SEATS; ++i)
    {
        if (PlayerAt(m_Seats.abyPassenger[i]) && m_Seats.abyPassengerState[i] == SEAT_OCCUPIED)
        {
            Assign(m_Seats.abyPassenger[i]);
            m_nOccupancyState = OCCUPANCY_PASSENGER;
            return;
        }
    }
    const bool bHadPlayer = m_byAssignedPlayer != VEHICLE_NO_PLAYER;
    NotifyAssignment(m_byAssignedPlayer, VEHICLE_NO_PLAYER);
    m_byAssignedPlayer = VEHICLE_NO_PLAYER;
    m_nOccupancyState = OCCUPANCY_NONE;
    if (bHadPlayer)
    {
        if (CStreamer* pStreamer = Streamer())
            pStreamer->CheckVehicleProximity(m_wId);
    }
}

void CVehicle::ReleaseAssignment()
{
    if (IsMarkedForDeletion() && !IsDeleted())
        return;
    NotifyAssignment(m_byAssignedPlayer, VEHICLE_NO_PLAYER);
    m_byAssignedPlayer = VEHICLE_NO_PLAYER;
    m_nOccupancyState = OCCUPANCY_NONE;
}

// A vehicle given to its nearest player changes hands only for a candidate
// clearly nearer: more than 5 units, or 2.5 times.
void CVehicle::OfferNearest(int nSlot, float fDistance)
{
    if (IsMarkedForDeletion())
        return;
    if (m_nOccupancyState == OCCUPANCY_NEAREST)
    {
        const CPlayer* pAssigned = PlayerAt(m_byAssignedPlayer);
        if (!pAssigned)
        {
            m_nOccupancyState = OCCUPANCY_NONE;
            m_byAssignedPlayer = VEHICLE_NO_PLAYER;
        }
        else
        {
            const float fCurrent = Vector::Distance(m_vPosition, pAssigned->m_vPosition);
            if (fCurrent > fDistance + REASSIGN_MARGIN || fCurrent > REASSIGN_FACTOR * fDistance)
            {
                m_nOccupancyState = nSlot == VEHICLE_NO_PLAYER ? OCCUPANCY_NONE : OCCUPANCY_NEAREST;
                Assign(nSlot);
                return;
            }
        }
    }
    if (m_nOccupancyState == OCCUPANCY_NONE)
    {
        m_nOccupancyState = OCCUPANCY_NEAREST;
        Assign(nSlot);
    }
}

// ---------------------------------------------------------------------------
// Unoccupied and driver sync

bool CVehicle::ApplyUnoccupiedSync(int nSlot, const SVehicleSyncRecord& record)
{
    if (IsMarkedForDeletion() || !PlayerAt(nSlot) || nSlot != m_byAssignedPlayer)
        return false;
    const uint32_t uiNow = Now();
    m_fHealth = record.fHealth;
    SetPosition(record.vPosition, false, false);
    m_qRotation = record.qRotation;
    m_vSpeed = record.vSpeed;
    m_usSyncWord = record.usSyncWord;
    // A damage the server sent less than 2000 ms ago is newer than the report.
    ExpireDamageLock(uiNow);
    if (m_uiDamageLockUntil == 0)
        m_uiDamage = record.uiDamage;
    if (record.byFlag != 0)
    {
        if (!m_bReportFlag)
        {
            m_bReportFlag = true;
            m_uiReportFlagSince = uiNow;
        }
    }
    else if (m_bReportFlag)
    {
        m_bReportFlag = false;
        m_uiReportFlagSince = 0;
    }
    const bool bDriven = m_Seats.byDriver != SEAT_NO_PLAYER && m_Seats.byDriverState == SEAT_OCCUPIED;
    m_bDriverUpdatePending = bDriven;
    m_bUnoccupiedUpdatePending = !bDriven;
    for (int nSeat = 0; nSeat < VEHICLE_SEAT_COUNT; ++nSeat)
    {
        if (CPlayer* pPlayer = PlayerAt(GetOccupant(nSeat)))
            pPlayer->m_vSpeed = m_vSpeed;
    }
    return true;
}

void CVehicle::BuildSyncRecord(SVehicleSyncRecord& record) const
{
    record.vPosition = m_vPosition;
    record.vSpeed = m_vSpeed;
    record.qRotation = m_qRotation;
    record.uiDamage = m_uiDamage;
    record.fHealth = m_fHealth;
    record.byFlag = 0;
    record.usSyncWord = m_usSyncWord;
}

void CVehicle::RelayUnoccupiedSync()
{
    alignas(4) SVehicleSyncRecord record;
    BuildSyncRecord(record);
    SendUnoccupiedRelay(this, record);
}

// ---------------------------------------------------------------------------
// Velocity and damage: they enter the simulation at its source, the assigned player.

void CVehicle::ApplyMotion(int nKind, const Vector& vValue, bool bNotify)
{
    if (IsMarkedForDeletion())
        return;
    switch (nKind)
    {
    case MOTION_SET_SPEED:
        m_vSpeed = vValue;
        break;
    case MOTION_ADD_SPEED:
        m_vSpeed += vValue;
        break;
    case MOTION_ADD_RELATIVE_SPEED:
        m_vSpeed += m_qRotation.Rotate(vValue);
        break;
    case MOTION_SET_TURN_SPEED:
        m_vTurnSpeed = vValue;
        break;
    case MOTION_ADD_TURN_SPEED:
        m_vTurnSpeed += vValue;
        break;
    case MOTION_ADD_RELATIVE_TURN_SPEED:
        m_vTurnSpeed += m_qRotation.Rotate(vValue);
        break;
    default:
        return;
    }
    if (bNotify && PlayerAt(m_byAssignedPlayer))
        SendVehicleMotion(this, nKind, vValue, m_byAssignedPlayer);
}

// A lock that has run out is cleared, here and on every tick: kept, its end
// would lie ahead of the clock again once the clock had moved on 2^31 ms, and
// lock out reports for as long again. A lock never has more than its length
// left (one more where its end was moved off 0); any other distance to the
// end means the end has passed.
void CVehicle::ExpireDamageLock(uint32_t uiNow)
{
    const uint32_t uiLeft = m_uiDamageLockUntil - uiNow;
    if (m_uiDamageLockUntil != 0 && (uiLeft == 0 || uiLeft > DAMAGE_LOCK_TIME + 1))
        m_uiDamageLockUntil = 0;
}

void CVehicle::SendDamage()
{
    if (IsMarkedForDeletion())
        return;
    m_uiDamageLockUntil = DeadlineAfter(DAMAGE_LOCK_TIME);
    if (PlayerAt(m_byAssignedPlayer))
        SendVehicleToPlayer(this, ID_VEHICLE_DAMAGE, m_byAssignedPlayer);
}
