#include "world/CStreamGrid.h"

#include <new>

CStreamGrid::~CStreamGrid()
{
    delete[] m_pCells;
}

// Bounds beyond +-4000 fall back to their defaults, an empty or inverted range
// to the default range of that axis, and counts are held to 1..100, so that a
// bad configuration still yields a usable grid.
bool CStreamGrid::Build(float fMinX, float fMinY, float fMaxX, float fMaxY, int nCellsX, int nCellsY)
{
    auto bounded = [](float fValue, float fDefault)
    { return (fValue >= -BOUND_LIMIT && fValue <= BOUND_LIMIT) ? fValue : fDefault; };
    fMinX = bounded(fMinX, DEFAULT_MIN_X);
    fMinY = bounded(fMinY, DEFAULT_MIN_Y);
    fMaxX = bounded(fMaxX, DEFAULT_MAX_X);
    fMaxY = bounded(fMaxY, DEFAULT_MAX_Y);
    if (fMinX >= fMaxX)
    {
        fMinX = DEFAULT_MIN_X;
        fMaxX = DEFAULT_MAX_X;
    }
    if (fMinY >= fMaxY)
    {
        fMinY = DEFAULT_MIN_Y;
        fMaxY = DEFAULT_MAX_Y;
    }
    nCellsX = nCellsX > MAX_CELLS ? MAX_CELLS : (nCellsX < 1 ? 1 : nCellsX);
    nCellsY = nCellsY > MAX_CELLS ? MAX_CELLS : (nCellsY < 1 ? 1 : nCellsY);

    delete[] m_pCells;
    m_pCells = new (std::nothrow) SGridLink[nCellsX * nCellsY];
    if (!m_pCells)
    {
        m_nCellsX = m_nCellsY = 0;
        return false;
    }
    for (int i = 0; i < nCellsX * nCellsY; ++i)
        m_pCells[i].pNext = m_pCells[i].pPrev = &m_pCells[i];
    m_fMinX = fMinX;
    m_fMinY = fMinY;
    m_fMaxX = fMaxX;
    m_fMaxY = fMaxY;
    m_nCellsX = nCellsX;
    m_nCellsY = nCellsY;
    m_fCellWidth = (fMaxX - fMinX) / static_cast<float>(nCellsX);
    m_fCellHeight = (fMaxY - fMinY) / static_cast<float>(nCellsY);
    return true;
}

// Compared before converting, so that a huge or non-finite coordinate lands in
// an edge cell instead of overflowing the conversion.
int CStreamGrid::IndexOf(float fOffset, float fCellSize, int nCount)
{
    const float fCell = fOffset / fCellSize;
    if (!(fCell >= 0.0f))
        return 0;
    if (fCell >= static_cast<float>(nCount))
        return nCount - 1;
    const int nIndex = static_cast<int>(fCell);
    return nIndex < nCount ? nIndex : nCount - 1;
}

int CStreamGrid::ColumnOf(float fX) const
{
    if (!m_pCells)
        return 0;
    return IndexOf(fX - m_fMinX, m_fCellWidth, m_nCellsX);
}

int CStreamGrid::RowOf(float fY) const
{
    if (!m_pCells)
        return 0;
    return IndexOf(fY - m_fMinY, m_fCellHeight, m_nCellsY);
}

SGridLink* CStreamGrid::Cell(int nColumn, int nRow) const
{
    if (!m_pCells)
        return nullptr;
    nColumn = nColumn < 0 ? 0 : (nColumn >= m_nCellsX ? m_nCellsX - 1 : nColumn);
    nRow = nRow < 0 ? 0 : (nRow >= m_nCellsY ? m_nCellsY - 1 : nRow);
    return &m_pCells[nRow * m_nCellsX + nColumn];
}

void CStreamGrid::Insert(void* pEntity, SGridLink& link, float fX, float fY)
{
    if (!m_pCells || !pEntity)
        return;
    Remove(link);
    SGridLink* pHead = Cell(ColumnOf(fX), RowOf(fY));
    link.pEntity = pEntity;
    link.pPrev = pHead;
    link.pNext = pHead->pNext;
    pHead->pNext->pPrev = &link;
    pHead->pNext = &link;
}

void CStreamGrid::Remove(SGridLink& link)
{
    if (!m_pCells || !link.pEntity)
        return;
    link.pPrev->pNext = link.pNext;
    link.pNext->pPrev = link.pPrev;
    link.pEntity = nullptr;
    link.pNext = nullptr;
    link.pPrev = nullptr;
}

void CStreamGrid::Query(float fX, float fY, float fRadius, GridQueryCallback pfnCallback, void* pUser) const
{
    if (!pfnCallback)
        return;
    QueryEach(fX, fY, fRadius, [pfnCallback, pUser](void* pEntity) { pfnCallback(pEntity, pUser); });
}
