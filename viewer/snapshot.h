// The offscreen run: pictures drawn with no display at all.
#pragma once

// Draws the first frame at Width x Height with no display, after pressing
// `keys`, writes it to `file` and exits. With `turntable` N > 0 it draws N
// frames instead, frame k turned 360 (k - 1) / N degrees further about the
// vertical axis, into FILE-001.png and on.
[[noreturn]] void runSnapshot(const char* file, const char* keys, int turntable);
