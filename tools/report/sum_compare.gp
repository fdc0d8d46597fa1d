# sum_compare's chart, three panels over team size:
#   speed-up of each program over its own one-thread run, with the ideal and the speed-up of
#   plain in-order streams on this machine (its floor);
#   ns per element per thread, the median with min-max bars (flat means perfect scaling);
#   packed over padded slots, with its 95% interval (above 1: the cost of false sharing).
#
#   gnuplot -c sum_compare.gp OUTPUT DATA [stdout]
# OUTPUT ends in .svg or .png; with a third argument "stdout" the chart goes to standard output in
# OUTPUT's format (sum_compare reads it there and writes the file itself). DATA holds blocks two blank lines apart, each a quoted title line
# and rows. The first block has one row, "P F R": how many program, floor and ratio blocks
# follow. Then come the program blocks ("threads speed-up ns min-ns max-ns"), the in-order floor
# blocks ("threads speed-up") and the packed-over-padded blocks ("threads ratio low high"), one
# of each kind per setting of --env. Both arguments are only ever used as file names.
output = ARG1
data = ARG2

if (strlen(output) > 4 && output[strlen(output) - 3:] eq ".png") {
  set terminal png noenhanced size 1000,1100
} else {
  set terminal svg noenhanced size 1000,1100 dynamic
}
if (ARGC >= 3 && ARG3 eq "stdout") {
  set output
} else {
  set output output
}

stats data index 0 using 1:2 nooutput
programs = int(STATS_min_x)
floors = int(STATS_min_y)
stats data index 0 using 3 nooutput
ratios = int(STATS_min)
first_floor = 1 + programs
first_ratio = first_floor + floors
stats data index 1:programs using 1 nooutput
top = STATS_max

set multiplot layout 3,1
set lmargin at screen 0.10
set rmargin at screen 0.60
set key outside right top Left reverse
set grid
set logscale x 2
set xrange [0.8:top * 1.25]
set xlabel "threads"

# Each program keeps its colour (line type = its block) in every panel.
set title "Speed-up over one thread"
set ylabel "speed-up"
plot x title "ideal" with lines dashtype 2 linecolor "gray", \
     for [block = first_floor:first_ratio - 1] data index block using 1:2 title columnheader(1) \
         with linespoints linewidth 2 pointtype block - first_floor + 1 linecolor "black", \
     for [block = 1:programs] data index block using 1:2 title columnheader(1) with linespoints linetype block

set title "Time per element per thread (median, min-max bars)"
set ylabel "ns per element"
set logscale y
plot for [block = 1:programs] data index block using 1:3:4:5 title columnheader(1) with yerrorlines linetype block
unset logscale y

set title "Packed over padded slots (95% interval)"
set ylabel "time ratio"
plot 1 title "no difference" with lines dashtype 2 linecolor "gray", \
     for [block = first_ratio:first_ratio + ratios - 1] data index block using 1:2:3:4 title columnheader(1) \
         with yerrorlines linewidth 2 pointtype block - first_ratio + 1 linecolor "black"
unset multiplot
