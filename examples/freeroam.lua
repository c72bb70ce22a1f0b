-- Free roam: a small but complete game mode, as a Lua script for the luahost plugin.
--
-- Players pick one of a few classes, each with its own spawn point and weapons, and roam the city.
-- Vehicles stand parked around the spawn points, and health and armour pickups lie beside them and
-- come back a while after they are taken. A few commands give a player a car of their own, full
-- health, a quick way back to class selection, or a private word with another player. After a death
-- the player goes back to class selection and chooses again.
--
-- The server holds the classes, the vehicles and the pickups, applies a class on spawn, and shows a
-- pickup again once its timer runs out. The script keeps only what it placed, the vehicle each
-- player got from /car and when they got it.
--
-- Load: put this file in the server's scripts/ folder, list "luahost" in the plugins line of
-- server.cfg and "freeroam" in its luascripts line. "lua reload freeroam" on the console loads an
-- edited copy while players stay connected.

-- Everything the mode creates lives in world 1, where every player starts.
local WORLD = 1
-- How long a taken pickup stays hidden.
local PICKUP_RESPAWN_MS = 10000
-- The server's vehicle models; a few numbers in between are refused by the server itself.
local FIRST_VEHICLE_MODEL, LAST_VEHICLE_MODEL = 130, 236
-- How far to the side of the player /car parks the new vehicle, and its colour.
local CAR_OFFSET, CAR_COLOUR = 4.0, 1
-- How long a player waits between two vehicles from /car.
local CAR_COOLDOWN_MS = 3000
-- Pickup models whose effect the server applies itself: health and armour points.
local MODEL_HEALTH, MODEL_ARMOUR = 366, 368

-- Chat line colours, 0xRRGGBBAA.
local COLOUR_INFO = 0x8CC8FFFF
local COLOUR_ERROR = 0xFF6464FF
local COLOUR_PRIVATE = 0xFFD24BFF
local COLOUR_NOTICE = 0xB0B0B0FF

-- colour is 0xAARRGGBB (players carry the low 24 bits); the two class bytes mean something to the
-- client (its look, its team); weapons and ammunition are up to three pairs.
local classes = {
    {name = "Downtown courier", byteA = 10, byteB = 1, colour = 0xFFE0A030, x = -657.8, y = 762.6, z = 11.6,
     angle = 0.0, weapons = {{17, 120}, {6, 1}, {0, 0}}},
    {name = "Harbour guard", byteA = 22, byteB = 2, colour = 0xFF3080E0, x = -880.0, y = -420.0, z = 11.0,
     angle = 1.5, weapons = {{19, 40}, {22, 200}, {0, 0}}},
    {name = "Airfield pilot", byteA = 35, byteB = 3, colour = 0xFF40C060, x = -1380.0, y = -880.0, z = 14.8,
     angle = 3.1, weapons = {{26, 150}, {17, 60}, {12, 4}}},
}

-- model, x, y, z, angle, colour1, colour2
local parked = {
    {132, -650.0, 770.0, 11.6, 0.0, 1, 1},   {141, -665.0, 770.0, 11.6, 0.0, 3, 3},
    {145, -872.0, -410.0, 11.0, 1.5, 6, 6},  {191, -888.0, -410.0, 11.0, 1.5, 0, 0},
    {210, -1370.0, -870.0, 14.8, 3.1, 2, 2}, {226, -1390.0, -870.0, 14.8, 3.1, 5, 5},
}

-- model, quantity (health or armour points), x, y, z
local pickups = {
    {MODEL_HEALTH, 100, -660.0, 755.0, 11.6},   {MODEL_ARMOUR, 100, -655.0, 755.0, 11.6},
    {MODEL_HEALTH, 100, -880.0, -430.0, 11.0},  {MODEL_ARMOUR, 100, -875.0, -430.0, 11.0},
    {MODEL_HEALTH, 100, -1380.0, -890.0, 14.8}, {MODEL_ARMOUR, 100, -1375.0, -890.0, 14.8},
}

-- Texts of the disconnect reasons 0..3.
local leaveReasons = {[0] = " (timed out)", [1] = "", [2] = " (kicked)", [3] = " (crashed)"}

-- What this load of the script placed, deleted again when it unloads.
local placedVehicles, placedPickups = {}, {}
-- The vehicle each player got from /car, and when (GetTime); an entry lives from that /car until the
-- vehicle is deleted or the player leaves.
local personalVehicle, lastCarMs = {}, {}

local function send(playerId, colour, text)
    return SendClientMessage(playerId, colour, text) == 1
end

-- The name of a player, or nil when the id names nobody.
local function playerName(playerId)
    local name, found = GetPlayerName(playerId)
    if found == 1 then
        return name
    end
end

-- Each start-up step answers how many of its entries the server took.
local function addClasses()
    local added = 0
    for _, c in ipairs(classes) do
        local w = c.weapons
        if AddPlayerClass(c.byteA, c.colour, c.byteB, c.x, c.y, c.z, c.angle, w[1][1], w[1][2], w[2][1], w[2][2],
                          w[3][1], w[3][2]) >= 0 then
            added = added + 1
        end
    end
    return added
end

local function parkVehicles()
    for _, v in ipairs(parked) do
        local vehicleId = CreateVehicle(v[1], WORLD, v[2], v[3], v[4], v[5], v[6], v[7])
        if vehicleId ~= 0 then
            placedVehicles[#placedVehicles + 1] = vehicleId
        end
    end
end

-- The server applies the effect (isAutomatic), hides the pickup when it is taken and shows it again
-- after the timer.
local function placePickups()
    for _, p in ipairs(pickups) do
        local pickupId = CreatePickup(p[1], WORLD, p[2], p[3], p[4], p[5], 255, 1)
        if pickupId >= 0 and SetPickupAutoTimer(pickupId, PICKUP_RESPAWN_MS) == 1 then
            placedPickups[#placedPickups + 1] = pickupId
        elseif pickupId >= 0 then
            DeletePickup(pickupId)
        end
    end
end

-- One line per kind of entity the server refused, so an operator sees it once.
local function reportRefused(what, made, wanted)
    if made < wanted then
        LogMessage(("freeroam: the server refused %d of %d %s"):format(wanted - made, wanted, what))
    end
end

-- Vehicles and pickups come with every load of the script and go with it; classes stay in the server
-- for good, so they are added once, when the server starts.
function OnScriptLoad()
    parkVehicles()
    placePickups()
end

function OnScriptUnload()
    for playerId, vehicleId in pairs(personalVehicle) do
        personalVehicle[playerId] = nil
        DeleteVehicle(vehicleId)
    end
    for _, vehicleId in ipairs(placedVehicles) do
        DeleteVehicle(vehicleId)
    end
    for _, pickupId in ipairs(placedPickups) do
        DeletePickup(pickupId)
    end
end

function OnServerInitialise()
    local first = classes[1]
    SetGameModeText("Free roam")
    SetJoinMessages(0) -- the mode greets and sees off players itself
    SetUseClasses(1)
    SetSpawnPlayerPosition(first.x, first.y, first.z)
    SetSpawnCameraPosition(first.x + 6.0, first.y + 6.0, first.z + 2.0)
    SetSpawnCameraLookAt(first.x, first.y, first.z)
    local added = addClasses()
    LogMessage(("freeroam: ready with %d classes, %d vehicles and %d pickups"):format(added, #placedVehicles,
                                                                                    #placedPickups))
    reportRefused("classes", added, #classes)
    reportRefused("parked vehicles", #placedVehicles, #parked)
    reportRefused("pickups", #placedPickups, #pickups)
end

function OnPlayerConnect(playerId)
    local name = playerName(playerId)
    if not name then
        return
    end
    personalVehicle[playerId], lastCarMs[playerId] = nil, nil
    send(-1, COLOUR_NOTICE, ("* %s joined free roam."):format(name))
    send(playerId, COLOUR_INFO, ("Welcome, %s! Choose a class and spawn; /help lists the commands."):format(name))
end

-- DeleteVehicle answers 0 when the vehicle is in use by an event and goes once the event ends: either
-- way it is gone, so the answer does not matter here.
local function deletePersonalVehicle(playerId)
    local vehicleId = personalVehicle[playerId]
    personalVehicle[playerId] = nil
    if vehicleId then
        DeleteVehicle(vehicleId)
    end
end

function OnPlayerDisconnect(playerId, reason)
    deletePersonalVehicle(playerId)
    lastCarMs[playerId] = nil
    local name = playerName(playerId)
    if name then
        send(-1, COLOUR_NOTICE, ("* %s left free roam%s."):format(name, leaveReasons[reason] or ""))
    end
end

-- A vehicle that goes away some other way must not stay on a player's record: its id is reused by
-- the next vehicle created, which may be a parked one.
function OnEntityPoolChange(entityType, entityId, isDeleted)
    if entityType ~= ORVN_ENTITY_VEHICLE or isDeleted == 0 then
        return
    end
    for playerId, vehicleId in pairs(personalVehicle) do
        if vehicleId == entityId then
            personalVehicle[playerId] = nil
        end
    end
end

function OnPlayerRequestClass(playerId, classIndex)
    local class = classes[classIndex + 1]
    if class then
        send(playerId, COLOUR_INFO, ("Class %d of %d: %s"):format(classIndex + 1, #classes, class.name))
    end
end

-- The server has already put the player at the class's spawn point with its weapons.
function OnPlayerSpawn(playerId)
    local class = classes[GetPlayerClass(playerId) + 1]
    if class then
        send(playerId, COLOUR_INFO, ("You are a %s. Try /car 132."):format(class.name))
    end
end

-- A dead player goes back to class selection and spawns from there.
function OnPlayerDeath(playerId, killerId, reason, bodyPart)
    if ForcePlayerSelect(playerId) == 1 then
        send(playerId, COLOUR_INFO, "Choose a class to spawn again.")
    end
end

function OnPickupPicked(pickupId, playerId)
    local model = GetPickupModel(pickupId)
    if model == MODEL_HEALTH then
        send(playerId, COLOUR_INFO, "Health restored.")
    elseif model == MODEL_ARMOUR then
        send(playerId, COLOUR_INFO, "Armour restored.")
    end
end

-- A whole number at the start of text, followed by a blank or the end, and the text after the blanks
-- that follow it; nil when there is none.
local function parseNumber(text)
    local number, rest = text:match("^%s*([+-]?%d+)(.*)$")
    number = tonumber(number)
    if not number or (rest ~= "" and rest:sub(1, 1) ~= " ") or number < -2147483647 or number > 2147483647 then
        return nil
    end
    return number, (rest:gsub("^ *", ""))
end

local commands

local function helpCommand(playerId)
    for _, command in ipairs(commands) do
        send(playerId, COLOUR_INFO, command.help)
    end
end

-- A player has at most one vehicle from /car, and one every few seconds: a new one replaces the last,
-- so the pool cannot be filled by one player. The old one goes only once the new one exists, so a
-- refused model leaves the player the car they had.
local function carCommand(playerId, args)
    local now = GetTime()
    if lastCarMs[playerId] and now - lastCarMs[playerId] < CAR_COOLDOWN_MS then
        send(playerId, COLOUR_ERROR, "Wait a moment before asking for another vehicle.")
        return
    end
    local model, rest = parseNumber(args)
    if not model or rest ~= "" then
        send(playerId, COLOUR_ERROR, "Usage: /car <model>")
        return
    end
    if model < FIRST_VEHICLE_MODEL or model > LAST_VEHICLE_MODEL then
        send(playerId, COLOUR_ERROR, ("There is no vehicle model %d; models run from %d to %d."):format(model,
            FIRST_VEHICLE_MODEL, LAST_VEHICLE_MODEL))
        return
    end
    local x, y, z, found = GetPlayerPosition(playerId)
    if found ~= 1 then
        return
    end
    local vehicleId = CreateVehicle(model, GetPlayerWorld(playerId), x + CAR_OFFSET, y, z, GetPlayerHeading(playerId),
                                    CAR_COLOUR, CAR_COLOUR)
    if vehicleId == 0 then
        send(playerId, COLOUR_ERROR, ("The server refused a vehicle of model %d."):format(model))
        return
    end
    deletePersonalVehicle(playerId)
    personalVehicle[playerId], lastCarMs[playerId] = vehicleId, now
    send(playerId, COLOUR_INFO, ("Your vehicle (model %d) is next to you."):format(model))
end

local function healCommand(playerId)
    if SetPlayerHealth(playerId, 100.0) == 1 then
        send(playerId, COLOUR_INFO, "You are back to full health.")
    end
end

-- Health 0 makes the client die; its death report brings the player back to class selection.
local function killCommand(playerId)
    SetPlayerHealth(playerId, 0.0)
end

local function privateMessageCommand(playerId, args)
    local targetId, text = parseNumber(args)
    if not targetId or text == "" then
        send(playerId, COLOUR_ERROR, "Usage: /pm <id> <text>")
        return
    end
    local recipient, sender = playerName(targetId), playerName(playerId)
    if not recipient or not sender then
        send(playerId, COLOUR_ERROR, ("No player has id %d."):format(targetId))
        return
    end
    if send(targetId, COLOUR_PRIVATE, ("PM from %s (%d): %s"):format(sender, playerId, text)) then
        send(playerId, COLOUR_PRIVATE, ("PM to %s (%d): %s"):format(recipient, targetId, text))
    end
end

-- needsSpawn: refused while the player chooses a class or lies dead.
commands = {
    {name = "help", help = "/help: this list", needsSpawn = false, run = helpCommand},
    {name = "car", help = "/car <model>: a vehicle of your own next to you (models 130 to 236)", needsSpawn = true,
     run = carCommand},
    {name = "heal", help = "/heal: back to full health", needsSpawn = true, run = healCommand},
    {name = "kill", help = "/kill: die and choose a class again", needsSpawn = true, run = killCommand},
    {name = "pm", help = "/pm <id> <text>: a private message to player <id>", needsSpawn = false,
     run = privateMessageCommand},
}
local commandsByName = {}
for _, command in ipairs(commands) do
    commandsByName[command.name] = command
end

-- The command word without a leading '/', in lower case and cut to 15 characters (so that a longer
-- word matches no command), and the arguments after it.
local function splitCommand(line)
    local word, args = line:gsub("^/", ""):match("^([^ ]*) *(.*)$")
    return word:sub(1, 15):lower(), args
end

-- A command the mode does not know is left to other plugins and scripts: no answer, and the line is
-- allowed.
function OnPlayerCommand(playerId, line)
    local name, args = splitCommand(line)
    local command = commandsByName[name]
    if not command then
        return
    end
    if command.needsSpawn and IsPlayerSpawned(playerId) ~= 1 then
        send(playerId, COLOUR_ERROR, ("Spawn first: /%s works only in the world."):format(name))
        return
    end
    command.run(playerId, args)
end
