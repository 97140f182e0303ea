// The interface side of the program: what a game state calls when the core's device check
// fails, so that everything the program keeps on the device is given up and made again.
#pragma once

// Releases the game font's per-frame buffers, lets the core wait for and reset the device
// (the core rebuilds its own and the graphics wrapper's resources), rebuilds the game font's
// buffers and restarts the interpolator so the time spent waiting is not caught up.
void recover_device();
