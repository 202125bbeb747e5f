ptf $
kind external
output parameters.txt
parameter amplitude $amplitude   $
parameter frequency $frequency   $
parameter offset $offset      $
replace tarne.in
values values.in
