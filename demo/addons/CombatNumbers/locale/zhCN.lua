local L = CombatNumbersLocale or {}
CombatNumbersLocale = L
L["HEAL"] = "治疗"
L["DAMAGE"] = "伤害"
L["CRIT"] = "暴击！"
