# sum_compare's chart: median wall-clock time against team size, one line per program.
#   gnuplot -c sum_compare.gp OUTPUT DATA
# OUTPUT ends in .svg or .png. DATA holds one block per program, blocks two blank lines apart,
# each a line with the program's name and then "threads median_seconds" rows. Both arguments
# are only ever used as file names.
output = ARG1
data = ARG2

if (strlen(output) > 4 && output[strlen(output) - 3:] eq ".png") {
  set terminal png noenhanced size 900,560
} else {
  set terminal svg noenhanced size 900,560 dynamic
}
set output output

stats data using 1 nooutput
set title "Median wall-clock time against team size"
set xlabel "threads"
set ylabel "seconds"
set logscale y
set logscale x 2
set key outside right
set grid
plot for [block = 0:STATS_blocks - 1] data index block using 1:2 with linespoints title columnheader(1)
