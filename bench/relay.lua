-- The script of bench/relay.sh --lua: every update reads the player's position and counts it.
local updates = {}

function OnPlayerUpdate(playerId, updateType)
    local x, y, z = GetPlayerPosition(playerId)
    updates[playerId] = (updates[playerId] or 0) + 1
end
