#pragma once
// Cleaning of fixed-width header texts for display.
#include <string>

// The text up to its first NUL byte, with every control byte, the byte 127
// and every byte from 128 up replaced by '_', and every '^' by a blank.
std::string GEcleanstr(const std::string& text);
