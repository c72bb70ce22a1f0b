#pragma once

#include <cstdint>

#include "IRefCounter.h"
#include "math/Quaternion.h"
#include "math/Vector.h"
#include "world/CStreamGrid.h"
#include "EntityList.h"

class CObject;
class CObjectPool;
class CPlayer;

// Bits of an object's report flags: what its viewers' clients report.
enum EObjectReport : uint8_t
{
    OBJECT_REPORT_SHOTS = 0x01,
    OBJECT_REPORT_TOUCHES = 0x02,
};

typedef SEntityListNode<CObject> SObjectListNode;

// A map object of the object pool; ids 0..2999. Owned by its pool from
// Create until its destruction, which waits while a plugin event or a message
// handler holds a lock on it.
//
// A move or a turn is recorded as its start, its target and its span; the
// current state is interpolated on demand, so the clients are told once and
// no traffic flows while it runs. A move is in progress while the last
// interpolation is earlier than its end. Every setter does nothing once the
// object is marked for deletion; the setters that announce a change send it to
// every player that has the object streamed in.
class CObject : public IRefCounter
{
public:
    // Runs the whole creation up to the pool's event: position clamped, into
    // its grid cell and the pool's list, then streamed.
    CObject(CObjectPool* pPool, uint16_t wId, int nModel, int nWorld, const Vector& vPosition,
            uint8_t byAlpha);
    // Streams it out everywhere, raises the pool's event, leaves its grid
    // cell and the list; the slot is freed last.
    ~CObject() override;

    uint16_t GetId() const { return m_wId; }
    int GetModel() const { return m_wModel; }
    // 0..65535: worlds are 16-bit numbers, compared unsigned.
    int GetWorld() const { return m_wWorld; }
    uint8_t GetAlpha() const { return m_byAlpha; }
    uint8_t GetReportFlags() const { return m_byReportFlags; }
    SObjectListNode* GetPoolNode() { return &m_PoolNode; }
    // The stored position, without interpolating (the streamer's view).
    const Vector& GetStoredPosition() const { return m_vPosition; }

    void SetWorld(int nWorld);
    void SetAlpha(uint8_t byAlpha, int nDuration);
    void SetReportFlags(uint8_t byFlags);
    void SetPosition(const Vector& vPosition);
    void MoveTo(const Vector& vTarget, int nDuration);
    void MoveBy(const Vector& vOffset, int nDuration);
    void SetRotation(const Quaternion& qRotation);
    void RotateTo(const Quaternion& qTarget, int nDuration);
    void RotateBy(const Quaternion& qDelta, int nDuration);

    // Interpolated to the current time first.
    Vector GetPosition();
    Quaternion GetRotation();

    bool IsMoving() const;
    bool IsTurning() const;

    // Messages 206 and 207 for one player; the streamer calls them.
    void SendCreateTo(const CPlayer* pPlayer);
    void SendDestroyTo(const CPlayer* pPlayer) const;

    // The pool's per-tick step for this object: keeps the grid cell within
    // 300 ms of a move and completes a turn that has reached its end.
    void ProcessTick(uint32_t uiNow);

private:
    void InterpolatePosition(uint32_t uiNow);
    void InterpolateRotation(uint32_t uiNow);
    void StartMove(const Vector& vTarget, int nDuration);
    void StartTurn(const Quaternion& qTarget, int nDuration);
    void UpdateGridCell();

    CObjectPool* m_pPool;
    uint16_t m_wId;
    uint16_t m_wWorld;
    uint16_t m_wModel;
    uint8_t m_byAlpha;
    // EObjectReport bits; 0 at creation.
    uint8_t m_byReportFlags;

public:
    // The streamer's grid of objects, and this object's link in it.
    CStreamGrid* m_pGrid;
    SGridLink m_GridNode;

private:
    // In the pool's list from the constructor to the destructor.
    SObjectListNode m_PoolNode;

    // The current position, or the target once a move is over.
    Vector m_vPosition;
    Quaternion m_qRotation;
    // Move and turn times on the server clock (ms); the end is 0 when none.
    uint32_t m_uiMoveStartTime;
    uint32_t m_uiMoveEndTime;
    uint32_t m_uiMoveLastUpdate;
    Vector m_vMoveFrom;
    Vector m_vMoveTo;
    uint32_t m_uiRotateStartTime;
    uint32_t m_uiRotateEndTime;
    uint32_t m_uiRotateLastUpdate;
    Quaternion m_qRotateFrom;
    Quaternion m_qRotateTo;
};
