#pragma once
// `player-bench paint`: milliseconds per paint of a movie area by area size
// and display model. Needs a QApplication and a display.

// Prints the table; `paints` paints per measured series. 0 on success.
int RunPaintBench(int paints);
