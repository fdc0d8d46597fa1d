# sum_compare's chart, up to three panels over team size (a panel with nothing to draw is left out):
#   speed-up of each program over its own one-thread run, with the ideal and the speed-up of
#   plain in-order streams on this machine (its floor);
#   ns per element per thread, the median with min-max bars (flat means perfect scaling);
#   packed over padded slots, with its 95% interval (above 1: the cost of false sharing);
# and where the run had several sizes, two over the array's size, each cache level marked:
#   the read bandwidth of each team size (calibrate's reassociated sum);
#   each program's ns per element per thread on the largest team.
#
#   gnuplot -c sum_compare.gp OUTPUT DATA [stdout]
# OUTPUT ends in .svg or .png; with a third argument "stdout" the chart goes to standard output in
# OUTPUT's format (sum_compare reads it there and writes the file itself). DATA holds blocks two
# blank lines apart, each a quoted title line and rows. The first block has one row, "P F R B T":
# how many program, floor, ratio, bandwidth and time-by-size blocks follow. Then come the program
# blocks ("threads speed-up ns min-ns max-ns linetype"), the in-order floor blocks ("threads
# speed-up linetype") and the packed-over-padded blocks ("threads ratio low high linetype"), one
# of each kind per setting; then the bandwidth blocks ("bytes GB/s linetype"), one per team size,
# and the time-by-size blocks ("bytes ns linetype"), one per program, for each group of settings
# that differ by size alone. Each row's last column is its linetype, whose colour and marker
# sum_compare sets (-e) before the script runs: a program looks the same here as on the page.
# sum_compare sets too cache_marks, and for each K up to it cache_mark_K (bytes) and
# cache_label_K. Both arguments are only ever used as file names.
output = ARG1
data = ARG2
if (!exists("cache_marks")) cache_marks = 0

stats data index 0 using 1:2 nooutput
programs = int(STATS_min_x)
floors = int(STATS_min_y)
stats data index 0 using 3:4 nooutput
ratios = int(STATS_min_x)
bandwidths = int(STATS_min_y)
stats data index 0 using 5 nooutput
times = int(STATS_min)
first_floor = 1 + programs
first_ratio = first_floor + floors
first_bandwidth = first_ratio + ratios
first_time = first_bandwidth + bandwidths
stats data index 1:programs using 1 nooutput
top = STATS_max
# A panel with nothing to draw is left out.
panels = 2 + (ratios > 0) + (bandwidths > 0) + (times > 0)
height = 100 + 340 * panels

# Cairo's PNG where gnuplot has it: the plain one draws no dashes.
if (strlen(output) > 4 && output[strlen(output) - 3:] eq ".png") {
  if (strstrt(GPVAL_TERMINALS, "pngcairo") > 0) {
    set terminal pngcairo noenhanced size 1000,height background rgb "white"
  } else {
    set terminal png noenhanced size 1000,height background rgb "white"
  }
} else {
  set terminal svg noenhanced size 1000,height dynamic background rgb "white"
}
if (ARGC >= 3 && ARG3 eq "stdout") {
  set output
} else {
  set output output
}

# The legends right of the plots, outside them; the ideal and 1 drawn dotted over the lines.
set multiplot layout panels,1
set lmargin at screen 0.10
set rmargin at screen 0.58
set key outside right top Left reverse width 2
set grid
set logscale x 2
set xrange [0.8:top * 1.25]
set xlabel "threads"

# Each program keeps its colour (line type = its block) in every panel.
set title "Speed-up over one thread"
set ylabel "speed-up"
plot for [block = 1:programs] data index block using 1:2:6:6 title columnheader(1) \
         with linespoints linewidth 2 linecolor variable pointtype variable, \
     for [block = first_floor:first_ratio - 1] data index block using 1:2:3:3 title columnheader(1) \
         with linespoints linewidth 1.5 dashtype 2 linecolor variable pointtype variable, \
     x title "ideal" with lines dashtype 3 linewidth 1.5 linecolor rgb "#222222"

set title "Time per element per thread (median, min-max bars)"
set ylabel "ns per element"
set logscale y
plot for [block = 1:programs] data index block using 1:3:4:5:6 title columnheader(1) \
         with yerrorlines linewidth 2 linecolor variable
unset logscale y

# Ratios on a log scale, as on the page.
if (ratios > 0) {
  set title "Packed over padded slots (95% interval)"
  set ylabel "time ratio (log scale)"
  set logscale y 2
  plot for [block = first_ratio:first_ratio + ratios - 1] data index block using 1:2:3:4:5 title columnheader(1) \
           with yerrorlines linewidth 2 linecolor variable, \
       1 title "no difference" with lines dashtype 3 linewidth 1.5 linecolor rgb "#222222"
  unset logscale y
}

if (bandwidths + times > 0) {
  # Over the array's size in bytes, each cache level's size a dotted line within the range.
  stats data index first_bandwidth:first_time + times - 1 using 1 nooutput
  xlow = STATS_min
  xhigh = STATS_max
  do for [k = 1:cache_marks] {
    mark = value(sprintf("cache_mark_%d", k))
    xlow = mark < xlow ? mark : xlow
    xhigh = mark > xhigh ? mark : xhigh
  }
  set xrange [xlow / 1.6:xhigh * 1.6]
  set format x "%.0b %BB"
  set xlabel "array size (log scale)"
  do for [k = 1:cache_marks] {
    eval sprintf("set arrow %d from cache_mark_%d, graph 0 to cache_mark_%d, graph 1 nohead dashtype 3 linecolor rgb '#777777'", k, k, k)
    eval sprintf("set label %d cache_label_%d at cache_mark_%d, graph 0.97 rotate by 90 right offset -0.6,0 font ',9'", k, k, k)
  }
  set title "Read bandwidth against the array's size (calibrate)"
  set ylabel "GB/s"
  set yrange [0:*]
  if (bandwidths > 0) {
    plot for [block = first_bandwidth:first_time - 1] data index block using 1:2:3:3 title columnheader(1) \
             with linespoints linewidth 2 linecolor variable pointtype variable
  }
  set title "Time per element per thread against the array's size (largest team)"
  set ylabel "ns per element"
  set logscale y
  set yrange [*:*]
  if (times > 0) {
    plot for [block = first_time:first_time + times - 1] data index block using 1:2:3:3 title columnheader(1) \
             with linespoints linewidth 2 linecolor variable pointtype variable
  }
}
unset multiplot
