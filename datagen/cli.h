// Command-line helpers shared by the data tools.
#pragma once

// Parses a whole decimal number from 0 to max, digits only. Returns 0 with
// the number in value, or -1 (value untouched).
int ParseWholeNumber(const char *text, unsigned long long max, unsigned long long *value);
