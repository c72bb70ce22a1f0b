#pragma once

#include "math/Vector.h"

class CPlayer;

// What the streamer needs of one pool of streamed entities (pickups, objects;
// vehicles extend it). The pool implements it and hands itself to the
// streamer once it exists; until then the kind has no entities. Entities are
// named by pool slot. The pool keeps each entity's SGridLink in the streamer's
// grid of its kind, with the entity record as the link's entity pointer.
class IStreamEntitySource
{
public:
    virtual ~IStreamEntitySource() = default;

    // Position and world of the entity in the slot; false when the slot is empty.
    virtual bool GetStreamState(int nId, Vector& vPosition, int& nWorld) const = 0;
    // The slot of an entity record found through the grid; -1 when unknown.
    virtual int GetStreamId(const void* pEntity) const = 0;
    // The create and destroy messages of the entity, to one observer.
    virtual void SendStreamIn(int nId, CPlayer* pObserver) = 0;
    virtual void SendStreamOut(int nId, CPlayer* pObserver) = 0;
};
