-- CombatNumbers: damage and healing above the character.
local frame = CreateFrame("Frame")
local pending, elapsed = {}, 0
local MERGE_SECONDS = 1.0

frame:RegisterEvent("COMBAT_TEXT_UPDATE")
frame:SetScript("OnEvent", function(_, _, kind, amount)
    pending[kind] = (pending[kind] or 0) + (tonumber(amount) or 0)
end)

frame:SetScript("OnUpdate", function(_, dt)
    elapsed = elapsed + dt
    if elapsed < MERGE_SECONDS then return end
    elapsed = 0
    for kind, total in pairs(pending) do
        local color = kind == "HEAL" and { 0.2, 1, 0.2 } or { 1, 0.3, 0.3 }
        CombatText_AddMessage(tostring(total), COMBAT_TEXT_SCROLL_FUNCTION, unpack(color))
        pending[kind] = nil
    end
end)
