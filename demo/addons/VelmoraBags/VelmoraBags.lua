-- VelmoraBags: one window for every bag, sorted by item kind.
local addonName, ns = ...
local Bags = CreateFrame("Frame", "VelmoraBagsFrame", UIParent)
Bags:RegisterEvent("BAG_UPDATE")
Bags:RegisterEvent("PLAYER_LOGIN")

local KIND_ORDER = { Quest = 1, Consumable = 2, TradeGoods = 3, Armor = 4, Weapon = 5, Misc = 6 }

local function SortKey(bag, slot)
    local link = GetContainerItemLink(bag, slot)
    if not link then return 99, "" end
    local name, _, quality, _, _, kind = GetItemInfo(link)
    return (KIND_ORDER[kind] or 7) * 10 + (5 - (quality or 0)), name or ""
end

function Bags:Refresh()
    local items = {}
    for bag = 0, NUM_BAG_SLOTS do
        for slot = 1, GetContainerNumSlots(bag) do
            local key, name = SortKey(bag, slot)
            items[#items + 1] = { bag = bag, slot = slot, key = key, name = name }
        end
    end
    table.sort(items, function(a, b)
        if a.key ~= b.key then return a.key < b.key end
        return a.name < b.name
    end)
    ns.Layout(self, items)
end

Bags:SetScript("OnEvent", function(self, event)
    if event == "PLAYER_LOGIN" then ns.CreateButtons(self) end
    self:Refresh()
end)
