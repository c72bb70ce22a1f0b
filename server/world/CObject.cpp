#include "world/CObject.h"

#include "CServer.h"
#include "players/CPlayer.h"
#include "plugins/CPluginManager.h"
#include "world/CObjectPool.h"
#include "world/CStreamer.h"
#include "world/CWorldMessage.h"

namespace
{
// While a move runs, the grid cell is brought up to date at least this often.
constexpr uint32_t GRID_REFRESH_MS = 300;
// The motion byte of message 206.
constexpr uint8_t MOTION_MOVING = 0x01;
constexpr uint8_t MOTION_TURNING = 0x02;

uint32_t Now()
{
    return g_pServer ? g_pServer->m_uiNow : 0;
}

// Spans travel as 16 bits; a longer one is sent as the longest the field
// holds instead of wrapping to a short one.
uint16_t WireSpan(uint32_t uiSpan)
{
    return static_cast<uint16_t>(uiSpan > 0xFFFFu ? 0xFFFFu : uiSpan);
}

// The fraction of a motion that has passed, in single precision.
float Fraction(uint32_t uiNow, uint32_t uiStart, uint32_t uiEnd)
{
    return static_cast<float>(uiNow - uiStart) / static_cast<float>(uiEnd - uiStart);
}

// The end of a motion that starts now. An end of 0 means "no motion", so a
// sum that wraps onto it ends a millisecond later.
uint32_t MotionEnd(uint32_t uiNow, int nDuration)
{
    if (nDuration <= 0)
        return uiNow;
    const uint32_t uiEnd = uiNow + static_cast<uint32_t>(nDuration);
    return uiEnd == 0 ? 1 : uiEnd;
}
} // namespace

CObject::CObject(CObjectPool* pPool, uint16_t wId, int nModel, int nWorld, const Vector& vPosition,
                 uint8_t byAlpha)
    : m_pPool(pPool), m_wId(wId), m_wWorld(static_cast<uint16_t>(nWorld)),
      m_wModel(static_cast<uint16_t>(nModel)), m_byAlpha(byAlpha), m_byReportFlags(0), m_pGrid(nullptr),
      m_vPosition(vPosition), m_uiMoveStartTime(0), m_uiMoveEndTime(0), m_uiMoveLastUpdate(0),
      m_uiRotateStartTime(0), m_uiRotateEndTime(0), m_uiRotateLastUpdate(0)
{
    CServer::ClampToWorld(m_vPosition);
    m_vMoveFrom = m_vMoveTo = m_vPosition;
    m_PoolNode.pEntity = this;
    CStreamer* pStreamer = m_pPool->GetStreamer();
    if (pStreamer)
        m_pGrid = pStreamer->GetObjectGrid();
    m_pPool->LinkFront(this);
    UpdateGridCell();
    if (pStreamer)
        pStreamer->UpdateObject(m_wId);
}

CObject::~CObject()
{
    if (CStreamer* pStreamer = m_pPool->GetStreamer())
        pStreamer->RemoveObject(m_wId);
    if (g_pPluginManager)
        g_pPluginManager->OnEntityPoolChange(ORVN_ENTITY_OBJECT, m_wId, true);
    if (m_pGrid)
        m_pGrid->Remove(m_GridNode);
    m_pPool->Detach(this);
}

bool CObject::IsMoving() const
{
    return m_uiMoveEndTime != 0 && ClockPassed(m_uiMoveEndTime, m_uiMoveLastUpdate);
}

bool CObject::IsTurning() const
{
    return m_uiRotateEndTime != 0 && ClockPassed(m_uiRotateEndTime, m_uiRotateLastUpdate);
}

void CObject::UpdateGridCell()
{
    if (m_pGrid)
        m_pGrid->Move(this, m_GridNode, m_vPosition.x, m_vPosition.y);
}

// A late call never overshoots: from the end time on the object rests on its
// target and the move is over.
void CObject::InterpolatePosition(uint32_t uiNow)
{
    if (IsMarkedForDeletion() || !IsMoving())
        return;
    if (ClockPassed(m_uiMoveEndTime, uiNow))
    {
        const float fT = Fraction(uiNow, m_uiMoveStartTime, m_uiMoveEndTime);
        m_vPosition = m_vMoveFrom + (m_vMoveTo - m_vMoveFrom) * fT;
        m_uiMoveLastUpdate = uiNow;
    }
    else
    {
        m_vPosition = m_vMoveTo;
        m_uiMoveStartTime = m_uiMoveEndTime = m_uiMoveLastUpdate = 0;
    }
    UpdateGridCell();
}

void CObject::InterpolateRotation(uint32_t uiNow)
{
    if (IsMarkedForDeletion() || !IsTurning())
        return;
    if (ClockPassed(m_uiRotateEndTime, uiNow))
    {
        m_qRotation.Slerp(m_qRotateFrom, m_qRotateTo,
                          Fraction(uiNow, m_uiRotateStartTime, m_uiRotateEndTime));
        m_uiRotateLastUpdate = uiNow;
    }
    else
    {
        m_qRotation = m_qRotateTo;
        m_uiRotateStartTime = m_uiRotateEndTime = m_uiRotateLastUpdate = 0;
    }
}

Vector CObject::GetPosition()
{
    InterpolatePosition(Now());
    return m_vPosition;
}

Quaternion CObject::GetRotation()
{
    InterpolateRotation(Now());
    return m_qRotation;
}

void CObject::SetWorld(int nWorld)
{
    const uint16_t wWorld = static_cast<uint16_t>(nWorld);
    if (IsMarkedForDeletion() || wWorld == m_wWorld)
        return;
    m_wWorld = wWorld;
    if (CStreamer* pStreamer = m_pPool->GetStreamer())
        pStreamer->UpdateObject(m_wId);
}

void CObject::SetAlpha(uint8_t byAlpha, int nDuration)
{
    if (IsMarkedForDeletion())
        return;
    m_byAlpha = byAlpha;
    CWorldMessage message(ID_OBJECT_ALPHA);
    message.Stream().Write(m_wId);
    message.Stream().Write(m_byAlpha);
    message.Stream().Write(static_cast<uint16_t>(nDuration));
    message.ToObjectObservers(m_wId);
}

void CObject::SetReportFlags(uint8_t byFlags)
{
    if (IsMarkedForDeletion() || byFlags == m_byReportFlags)
        return;
    m_byReportFlags = byFlags;
    CWorldMessage message(ID_OBJECT_REPORT_FLAGS);
    message.Stream().Write(m_wId);
    message.Stream().Write(m_byReportFlags);
    message.ToObjectObservers(m_wId);
}

void CObject::SetPosition(const Vector& vPosition)
{
    if (IsMarkedForDeletion())
        return;
    m_uiMoveStartTime = m_uiMoveEndTime = m_uiMoveLastUpdate = 0;
    m_vPosition = vPosition;
    CServer::ClampToWorld(m_vPosition);
    UpdateGridCell();
    if (CStreamer* pStreamer = m_pPool->GetStreamer())
        pStreamer->UpdateObject(m_wId);
    CWorldMessage message(ID_OBJECT_POSITION);
    message.Stream().Write(m_wId);
    message.WriteVector(m_vPosition);
    message.ToObjectObservers(m_wId);
}

// The move starts from where the object is now, so a new move replaces a
// running one without a jump.
void CObject::StartMove(const Vector& vTarget, int nDuration)
{
    const uint32_t uiNow = Now();
    m_vMoveFrom = m_vPosition;
    m_vMoveTo = vTarget;
    CServer::ClampToWorld(m_vMoveTo);
    m_uiMoveStartTime = m_uiMoveLastUpdate = uiNow;
    m_uiMoveEndTime = MotionEnd(uiNow, nDuration);
    if (m_uiMoveEndTime == m_uiMoveStartTime)
    {
        SetPosition(m_vMoveTo);
        return;
    }
    CWorldMessage message(ID_OBJECT_MOVE);
    message.Stream().Write(m_wId);
    message.Stream().Write(WireSpan(m_uiMoveEndTime - m_uiMoveStartTime));
    message.WriteVector(m_vMoveFrom);
    message.WriteVector(m_vMoveTo);
    message.ToObjectObservers(m_wId);
}

void CObject::MoveTo(const Vector& vTarget, int nDuration)
{
    if (IsMarkedForDeletion())
        return;
    InterpolatePosition(Now());
    StartMove(vTarget, nDuration);
}

// Relative moves add up: while a move runs the offset applies to its target.
void CObject::MoveBy(const Vector& vOffset, int nDuration)
{
    if (IsMarkedForDeletion())
        return;
    InterpolatePosition(Now());
    StartMove((IsMoving() ? m_vMoveTo : m_vPosition) + vOffset, nDuration);
}

void CObject::SetRotation(const Quaternion& qRotation)
{
    if (IsMarkedForDeletion())
        return;
    m_uiRotateStartTime = m_uiRotateEndTime = m_uiRotateLastUpdate = 0;
    m_qRotation = qRotation;
    CWorldMessage message(ID_OBJECT_ROTATION);
    message.Stream().Write(m_wId);
    message.WriteQuaternion(m_qRotation);
    message.ToObjectObservers(m_wId);
}

void CObject::StartTurn(const Quaternion& qTarget, int nDuration)
{
    const uint32_t uiNow = Now();
    m_qRotateFrom = m_qRotation;
    m_qRotateTo = qTarget;
    m_uiRotateStartTime = m_uiRotateLastUpdate = uiNow;
    m_uiRotateEndTime = MotionEnd(uiNow, nDuration);
    if (m_uiRotateEndTime == m_uiRotateStartTime)
    {
        SetRotation(m_qRotateTo);
        return;
    }
    CWorldMessage message(ID_OBJECT_TURN);
    message.Stream().Write(m_wId);
    message.Stream().Write(WireSpan(m_uiRotateEndTime - m_uiRotateStartTime));
    message.WriteQuaternion(m_qRotateFrom);
    message.WriteQuaternion(m_qRotateTo);
    message.ToObjectObservers(m_wId);
}

void CObject::RotateTo(const Quaternion& qTarget, int nDuration)
{
    if (IsMarkedForDeletion())
        return;
    InterpolateRotation(Now());
    StartTurn(qTarget, nDuration);
}

// Relative turns add up like relative moves: applied after the running
// turn's target.
void CObject::RotateBy(const Quaternion& qDelta, int nDuration)
{
    if (IsMarkedForDeletion())
        return;
    InterpolateRotation(Now());
    Quaternion qTarget = IsTurning() ? m_qRotateTo : m_qRotation;
    qTarget.MultiplyBy(qDelta);
    StartTurn(qTarget, nDuration);
}

// A late viewer starts from where the object is now, with only what is left
// of each motion.
void CObject::SendCreateTo(const CPlayer* pPlayer)
{
    const uint32_t uiNow = Now();
    InterpolatePosition(uiNow);
    InterpolateRotation(uiNow);
    const bool bMoving = IsMoving();
    const bool bTurning = IsTurning();
    CWorldMessage message(ID_OBJECT_CREATE);
    RakNet::BitStream& stream = message.Stream();
    stream.Write(m_wId);
    stream.Write(m_wModel);
    stream.Write(m_byAlpha);
    message.WriteVector(m_vPosition);
    message.WriteQuaternion(m_qRotation);
    stream.Write(m_byReportFlags);
    stream.Write(static_cast<uint8_t>((bMoving ? MOTION_MOVING : 0) | (bTurning ? MOTION_TURNING : 0)));
    if (bMoving)
    {
        stream.Write(static_cast<uint32_t>(m_uiMoveEndTime - uiNow));
        message.WriteVector(m_vMoveTo);
    }
    if (bTurning)
    {
        stream.Write(static_cast<uint32_t>(m_uiRotateEndTime - uiNow));
        message.WriteQuaternion(m_qRotateTo);
    }
    message.To(pPlayer->GetSlot());
}

void CObject::SendDestroyTo(const CPlayer* pPlayer) const
{
    CWorldMessage message(ID_OBJECT_DESTROY);
    message.Stream().Write(m_wId);
    message.To(pPlayer->GetSlot());
}

void CObject::ProcessTick(uint32_t uiNow)
{
    if (IsMarkedForDeletion())
        return;
    if (IsMoving() && (uiNow - m_uiMoveLastUpdate > GRID_REFRESH_MS || !ClockPassed(m_uiMoveEndTime, uiNow)))
        InterpolatePosition(uiNow);
    if (IsTurning() && !ClockPassed(m_uiRotateEndTime, uiNow))
        InterpolateRotation(uiNow);
}
