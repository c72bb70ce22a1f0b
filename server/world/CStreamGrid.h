#pragma once

#include <cstdint>

// The membership of one entity in one grid cell. Every player, vehicle, pickup
// and object embeds one for its whole life; the link is in no cell while
// pEntity is null. A cell's list head is a link whose pEntity stays null.
struct SGridLink
{
    void* pEntity = nullptr;
    SGridLink* pNext = nullptr;
    SGridLink* pPrev = nullptr;
};

// Called for every entity in the cells a query covers; the callback makes the
// exact distance test and may unlink the entity it was given.
typedef void (*GridQueryCallback)(void* pEntity, void* pUser);

// A uniform grid over the horizontal plane, so that finding the entities near
// a point visits a few cells instead of every entity. Positions outside the
// covered rectangle fall into the edge cells. Until Build succeeds the grid has
// no cells: queries visit nothing and every index is 0.
class CStreamGrid
{
public:
    static constexpr int MAX_CELLS = 100;
    static constexpr float BOUND_LIMIT = 4000.0f;
    static constexpr float DEFAULT_MIN_X = -2400.0f;
    static constexpr float DEFAULT_MIN_Y = -2000.0f;
    static constexpr float DEFAULT_MAX_X = 1600.0f;
    static constexpr float DEFAULT_MAX_Y = 2000.0f;

    CStreamGrid() = default;
    ~CStreamGrid();
    CStreamGrid(const CStreamGrid&) = delete;
    CStreamGrid& operator=(const CStreamGrid&) = delete;

    // Validates the bounds and counts (bad values fall back to the defaults or
    // are clamped) and allocates every cell empty. A rebuild drops the old
    // cells, so it is only done while no entity is linked. False when the
    // cells could not be allocated (the grid is then unbuilt).
    bool Build(float fMinX, float fMinY, float fMaxX, float fMaxY, int nCellsX, int nCellsY);
    bool IsBuilt() const { return m_pCells != nullptr; }

    int ColumnOf(float fX) const;
    int RowOf(float fY) const;
    // The list head of a cell, both indices clamped into range; null when unbuilt.
    SGridLink* Cell(int nColumn, int nRow) const;

    // Links the entity at the front of the cell of (x, y), leaving its old cell
    // first. Move is the same operation, named for position changes.
    void Insert(void* pEntity, SGridLink& link, float fX, float fY);
    void Move(void* pEntity, SGridLink& link, float fX, float fY) { Insert(pEntity, link, fX, fY); }
    // Leaves the cell and clears the link; nothing when it is in no cell.
    void Remove(SGridLink& link);

    // Visits every entity in the cells covering the square of side 2 * radius
    // around (x, y), front to back per cell; reads each successor before the
    // call so the callback may unlink what it was given.
    void Query(float fX, float fY, float fRadius, GridQueryCallback pfnCallback, void* pUser) const;
    // The same with an inlined callable taking (void* pEntity).
    template <typename Fn> void QueryEach(float fX, float fY, float fRadius, Fn&& fn) const;

    float GetMinX() const { return m_fMinX; }
    float GetMinY() const { return m_fMinY; }
    float GetMaxX() const { return m_fMaxX; }
    float GetMaxY() const { return m_fMaxY; }
    float GetCellWidth() const { return m_fCellWidth; }
    float GetCellHeight() const { return m_fCellHeight; }
    int GetCellsX() const { return m_nCellsX; }
    int GetCellsY() const { return m_nCellsY; }

private:
    static int IndexOf(float fOffset, float fCellSize, int nCount);

    float m_fMinX = 0.0f;
    float m_fMinY = 0.0f;
    float m_fMaxX = 0.0f;
    float m_fMaxY = 0.0f;
    float m_fCellWidth = 0.0f;
    float m_fCellHeight = 0.0f;
    int m_nCellsX = 0;
    int m_nCellsY = 0;
    // m_nCellsX * m_nCellsY heads, row-major; lives from Build to destruction.
    SGridLink* m_pCells = nullptr;
};

template <typename Fn> void CStreamGrid::QueryEach(float fX, float fY, float fRadius, Fn&& fn) const
{
    if (!m_pCells)
        return;
    const int nColumnEnd = ColumnOf(fX + fRadius);
    const int nRowStart = RowOf(fY - fRadius);
    const int nRowEnd = RowOf(fY + fRadius);
    for (int nColumn = ColumnOf(fX - fRadius); nColumn <= nColumnEnd; ++nColumn)
    {
        for (int nRow = nRowStart; nRow <= nRowEnd; ++nRow)
        {
            SGridLink* pHead = &m_pCells[nRow * m_nCellsX + nColumn];
            SGridLink* pLink = pHead->pNext;
            while (pLink != pHead)
            {
                SGridLink* pNext = pLink->pNext;
                fn(pLink->pEntity);
                pLink = pNext;
            }
        }
    }
}
