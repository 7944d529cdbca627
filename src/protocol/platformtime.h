#pragma once
// The system's local-time conversion, the one call of the C library that differs
// between the platforms the program builds on.

#include <ctime>

// Fills tm with the local time of t; false when the system cannot convert it.
bool LocalTimeOf(std::time_t t, std::tm &tm);
