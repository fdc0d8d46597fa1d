# sum_compare's chart, three panels over team size:
#   speed-up of each program over its own one-thread run, with the ideal and the speed-up of
#   plain in-order streams on this machine (its floor);
#   ns per element per thread, the median with min-max bars (flat means perfect scaling);
#   packed over padded slots, with its 95% interval (above 1: the cost of false sharing).
#
#   gnuplot -c sum_compare.gp OUTPUT DATA
# OUTPUT ends in .svg or .png. DATA holds blocks two blank lines apart, each a quoted title line
# and rows: one block per program ("threads speed-up ns min-ns max-ns"), then the in-order floor
# ("threads speed-up"), then packed over padded ("threads ratio low high"). Both arguments are
# only ever used as file names.
output = ARG1
data = ARG2

if (strlen(output) > 4 && output[strlen(output) - 3:] eq ".png") {
  set terminal png noenhanced size 900,1100
} else {
  set terminal svg noenhanced size 900,1100 dynamic
}
set output output

stats data using 1 nooutput
programs = STATS_blocks - 2
floor_block = STATS_blocks - 2
ratio_block = STATS_blocks - 1
stats data using 1 nooutput
top = STATS_max

set multiplot layout 3,1
set lmargin at screen 0.10
set rmargin at screen 0.70
set key outside right top
set grid
set logscale x 2
set xrange [0.8:top * 1.25]
set xlabel "threads"

# Each program keeps its colour (line type block + 1) in every panel.
set title "Speed-up over one thread"
set ylabel "speed-up"
plot x title "ideal" with lines dashtype 2 linecolor "gray", \
     data index floor_block using 1:2 title columnheader(1) with linespoints linewidth 2 linecolor "black", \
     for [block = 0:programs - 1] data index block using 1:2 title columnheader(1) with linespoints linetype block + 1

set title "Time per element per thread (median, min-max bars)"
set ylabel "ns per element"
set logscale y
plot for [block = 0:programs - 1] data index block using 1:3:4:5 title columnheader(1) with yerrorlines linetype block + 1
unset logscale y

set title "Packed over padded slots (95% interval)"
set ylabel "time ratio"
plot 1 title "no difference" with lines dashtype 2 linecolor "gray", \
     data index ratio_block using 1:2:3:4 title columnheader(1) with yerrorlines linewidth 2 linecolor "black"
unset multiplot
