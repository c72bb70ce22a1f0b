#pragma once

#include <cstdint>
#include <type_traits>

#include "math/Quaternion.h"
#include "math/Vector.h"

class CObject;
class CPickup;
class CPlayer;
class CVehicle;

// The entity a plugin names by id, or null: a player 0..99, a vehicle
// 1..1000, an object 0..2999 or a pickup 0..1999, in a taken slot of its
// pool. Null for every id while the server or the pool does not exist.
template <typename TEntity> TEntity* FindEntity(int32_t nId);
template <> CPlayer* FindEntity<CPlayer>(int32_t nId);
template <> CVehicle* FindEntity<CVehicle>(int32_t nId);
template <> CObject* FindEntity<CObject>(int32_t nId);
template <> CPickup* FindEntity<CPickup>(int32_t nId);

// The frame every slot that names an entity shares: the slot's own rule runs
// on the entity the id names, and an id that names none gets the slot's
// answer for an unknown id instead, with nothing done. A rule that returns
// nothing has done its work, which the table answers with 1.
template <typename TEntity, typename TResult, typename TRule>
TResult WithEntity(int32_t nId, TResult unknown, TRule&& rule)
{
    TEntity* pEntity = FindEntity<TEntity>(nId);
    if (!pEntity)
        return unknown;
    if constexpr (std::is_void_v<std::invoke_result_t<TRule&, TEntity&>>)
    {
        rule(*pEntity);
        return static_cast<TResult>(1);
    }
    else
        return static_cast<TResult>(rule(*pEntity));
}

namespace PluginSlotDetail
{
template <typename TMember> struct SOwnerOf;
template <typename TClass, typename TMember> struct SOwnerOf<TMember TClass::*>
{
    using TOwner = TClass;
};
} // namespace PluginSlotDetail

// A getter slot whose rule is one field (or one const accessor) of the
// entity as it stands, converted to the slot's result: the type of the
// unknown-id answer, which is an integer.
template <auto pMember, auto unknown> decltype(unknown) ReadField(int32_t nId)
{
    using TEntity = typename PluginSlotDetail::SOwnerOf<decltype(pMember)>::TOwner;
    return WithEntity<TEntity>(nId, unknown,
                               [](TEntity& entity)
                               {
                                   if constexpr (std::is_member_function_pointer_v<decltype(pMember)>)
                                       return (entity.*pMember)();
                                   else
                                       return entity.*pMember;
                               });
}

// The getters through pointers write only through those that are not null.
inline void WriteVector(const Vector& v, float* pfX, float* pfY, float* pfZ)
{
    if (pfX)
        *pfX = v.x;
    if (pfY)
        *pfY = v.y;
    if (pfZ)
        *pfZ = v.z;
}

inline void WriteQuaternion(const Quaternion& q, float* pfX, float* pfY, float* pfZ, float* pfW)
{
    WriteVector(Vector(q.x, q.y, q.z), pfX, pfY, pfZ);
    if (pfW)
        *pfW = q.w;
}

// A rotation given by plugins as Euler angles.
inline Quaternion FromEuler(float fX, float fY, float fZ)
{
    Quaternion qRotation;
    qRotation.FromEuler(Vector(fX, fY, fZ));
    return qRotation;
}
