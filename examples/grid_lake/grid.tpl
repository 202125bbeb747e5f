ptf $
kind hydro
grid 150 150
cell_size 250
time_step 24
outlet 150 150
rain_gradient 0.3
initial_soil 0.5
forcing forcing.txt
output hydrograph.out
parameter soil_capacity $soil_capacity    $
parameter shape         $shape            $
parameter fast_k        $fast_k           $
parameter slow_k        $slow_k           $
parameter split         $split            $
parameter velocity      $velocity         $
