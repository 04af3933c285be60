// The shading ramp: 32 texels of one intensity each, read from a file by
// one of two rules, and the data files installed with the program.
#pragma once

#include <string>
#include <vector>

constexpr int kRampSize = 32;

// The bundled run's rule. Reads up to 32 lines of `file`, each line's
// leading number into all three channels of one texel (0 for a line that
// does not begin with a number and for texels the file does not reach).
// False, with every texel 0, when the file cannot be opened or read (a
// directory, say).
bool readRamp(const char* file, float texels[kRampSize][3]);

// The checked rule: `file` holds 1 to 32 values, one per line, each a
// decimal number from 0 to 1 (blanks around it and blank lines do not
// count), spread over the texels by spreadRamp. False, with the texels
// untouched and one line in `error` ("FILE:LINE: what is wrong", or
// "FILE: what is wrong" for the file as a whole), when the file cannot be
// read or breaks the rule.
bool readCheckedRamp(const char* file, float texels[kRampSize][3], std::string& error);

// Spreads 1 to 32 values over the texels as equal bands: texel i takes
// value number floor(i * N / 32) of the N, in all three channels.
void spreadRamp(const std::vector<float>& values, float texels[kRampSize][3]);

// The path of data file `name` (the ramp, the bundled models) installed with
// the program, found from where the program itself is: the build tree has
// the same layout as an installation.
std::string installedDataFile(const char* name);
