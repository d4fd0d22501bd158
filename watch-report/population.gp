$class0 << EOD
2026-12-08T13:32:33 2 2 3
2026-12-08T13:42:33 1 1 3
2026-12-08T13:47:33 5 5 3
2026-12-08T13:52:33 2 2 3
2026-12-08T14:02:33 0 0 3
2026-12-08T14:12:33 3 3 3
2026-12-08T14:22:33 4 4 3
EOD
set terminal svg size 1000,360 dynamic noenhanced background rgb 'white' font 'sans,11'
set output "population.svg"
set multiplot
set label 1 "Each limited class's count in the plug-in's censuses, and its limit, by the server's time" at screen 0.5, screen 0.9500 center font 'sans,12'
set lmargin at screen 0.07
set rmargin at screen 0.97
set grid
set ylabel 'creatures'
set xdata time
set timefmt '%Y-%m-%dT%H:%M:%S'
set format x "%H:%M:%S"
set xrange ['2026-12-08T13:32:33':'2026-12-08T14:22:33']
set tmargin at screen 0.7444
set bmargin at screen 0.2389
set yrange [-0.24:6]
set ytics 0,1
set title "A"
set key horizontal at screen 0.5, screen 0.8833 center center
set xlabel "the server's local time"
plot $class0 using 1:4 with steps lw 7 lc rgb '#f4a6a6' title 'limit', $class0 using 1:2 with steps lw 2 lc rgb '#1b7837' title "the census's count"
unset multiplot
