local addonName, ns = ...
local BUTTON_SIZE, COLUMNS, PADDING = 37, 10, 4

function ns.CreateButtons(frame)
    frame.buttons = {}
    frame:SetSize(COLUMNS * (BUTTON_SIZE + PADDING) + PADDING, 400)
    frame:SetPoint("BOTTOMRIGHT", UIParent, "BOTTOMRIGHT", -60, 100)
end

function ns.Layout(frame, items)
    for i, item in ipairs(items) do
        local button = frame.buttons[i] or CreateFrame("Button", nil, frame, "ContainerFrameItemButtonTemplate")
        frame.buttons[i] = button
        local row, col = math.floor((i - 1) / COLUMNS), (i - 1) % COLUMNS
        button:SetPoint("TOPLEFT", PADDING + col * (BUTTON_SIZE + PADDING), -PADDING - row * (BUTTON_SIZE + PADDING))
        button:SetID(item.slot)
        button:Show()
    end
end
