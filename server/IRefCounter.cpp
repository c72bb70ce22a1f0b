#include "IRefCounter.h"

#include <cassert>

bool IRefCounter::Release()
{
    assert(m_nLockCounter > 0);
    if (m_nLockCounter == 0)
        return true;
    --m_nLockCounter;
    if (m_nLockCounter == 0 && m_bMarkedForDeletion && !m_bDeleted)
    {
        m_bDeleted = 1;
        delete this;
        return false;
    }
    return true;
}

bool IRefCounter::RequestDelete()
{
    m_bMarkedForDeletion = 1;
    if (m_nLockCounter == 0 && !m_bDeleted)
    {
        m_bDeleted = 1;
        delete this;
        return true;
    }
    return false;
}
