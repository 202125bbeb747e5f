# Draws the picture of the method comparison: one panel per problem and in it one point per
# method, the share of seeds that reached the global minimum against the median model runs,
# from the rows that "bench_methods --plot FILE" writes.
#
#   gnuplot -e "data='methods.tsv'; out='docs/images/methods-success-runs.png'" bench/methods_plot.gp
if (!exists("data")) data = 'methods.tsv'
if (!exists("out")) out = 'methods-success-runs.png'
if (!exists("problems")) problems = "sine hydro BoxBOD Eckerle4 MGH10 MGH17"
set terminal pngcairo size 1320,760 font ",10"
set output out
set datafile separator "\t"
methods = "-m -c -slm -ms -mlsl -tr"
shown(i) = i == 1 ? "Monte Carlo (-m)" : i == 2 ? "SCE-UA (-c)" : i == 3 ? "Levenberg-Marquardt (-slm)" : \
           i == 4 ? "multistart (-ms)" : i == 5 ? "MLSL (-mlsl)" : "trajectory repulsion (-tr)"
set logscale x
set xrange [20:20000]
set yrange [-0.05:1.08]
set grid
set multiplot layout 2,3 margins 0.05,0.80,0.08,0.91 spacing 0.07,0.13 \
  title "Share of 30 seeds that reached the global minimum against the median model runs"
do for [p=1:words(problems)] {
  set title word(problems, p)
  set xlabel "median model runs (log scale)"
  set ylabel "share reached"
  if (p == 1) { set key at screen 0.995,0.62 right font ",10" spacing 1.4 } else { unset key }
  plot for [i=1:6] data skip 1 \
    using ((strcol(1) eq word(problems, p) && strcol(2) eq word(methods, i)) ? $5 : NaN):($3/$4) \
    with points pointtype (i + 3) pointsize 2 title shown(i)
}
unset multiplot
