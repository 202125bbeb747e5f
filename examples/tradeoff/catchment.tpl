ptf $
# A 3 x 3 catchment of 20 km cells with daily steps and 100 days of forcing; the outlet is
# the last cell. The five calibrated parameters come from the replacement list and value
# file that the PEST-format tools write before every run (tarne.in, values.in); velocity is
# fixed. Monte Carlo and SCE-UA calibrate the same catchment as calibrate.prj.
kind hydro
grid 3 3
cell_size 20000
time_step 24
outlet 3 3
rain_gradient 0.3
initial_soil 0.5
forcing forcing.txt
output hydrograph.out
parameter soil_capacity $soil_capacity$
parameter shape $shape$
parameter fast_k $fast_k$
parameter slow_k $slow_k$
parameter split $split$
parameter velocity 0.5
replace tarne.in
values values.in
