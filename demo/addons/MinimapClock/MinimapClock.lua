-- MinimapClock: server and local time under the minimap.
local clock = CreateFrame("Frame", "MinimapClockFrame", Minimap)
clock:SetSize(90, 16)
clock:SetPoint("TOP", Minimap, "BOTTOM", 0, -4)
local text = clock:CreateFontString(nil, "OVERLAY", "GameFontNormalSmall")
text:SetAllPoints()

local last = 0
clock:SetScript("OnUpdate", function(_, dt)
    last = last + dt
    if last < 1 then return end
    last = 0
    local hour, minute = GetGameTime()
    text:SetText(string.format("%02d:%02d  %s", hour, minute, date("%H:%M")))
end)
