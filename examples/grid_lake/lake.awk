# The lake below the catchment of grid.prj: the catchment's discharge and a spring fill it,
# a weir and seepage empty it. Reads the value file (the twelve parameters of grid.pst in
# their order, natural units: the lake's are the last six) and the catchment's hydrograph,
# and writes one line a day, "time outflow level": the weir's outflow in m3/s and the lake
# level in m above its bed, after the day's 24 hourly steps.
#
#   lake area (km2), weir coefficient (m^1.5/s), crest height (m), seepage (fraction of the
#   storage a day), spring (m3/s), level at the start (m)
FNR == NR {
  area = $7 * 1e6; weir = $8; crest = $9; seepage = $10 / 86400; spring = $11; level = $12
  next
}
/^#/ || NF < 2 { next }
{
  inflow = $2 + spring
  for (hour = 0; hour < 24; hour++) {
    level += (inflow - Outflow(level) - seepage * area * level) * 3600 / area
    if (level < 0) level = 0
  }
  printf "%s %.9e %.9e\n", $1, Outflow(level), level
}
function Outflow(level,   head) {
  head = level - crest
  return head > 0 ? weir * head ^ 1.5 : 0
}
