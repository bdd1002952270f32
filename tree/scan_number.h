// Number scanning for parameter values: the syntax of the scanf conversions
// "%lf", "%li", "%i" and "%hi", read with functions that stop at the number.
#pragma once

namespace ami {

// Each reads the number that starts at `text` (leading white space skipped,
// as scanf does), stops at the first character that cannot belong to it, and
// returns true when a number was read into `*value`. Integers take an
// optional sign and decimal, octal (leading 0) or hexadecimal (leading 0x)
// digits; a value beyond the type's range is clamped to it. `text` must be
// null-terminated; nothing past the terminator is read.
bool scan_double(const char *text, double *value);
bool scan_long(const char *text, long *value);
bool scan_int(const char *text, int *value);
bool scan_short(const char *text, short *value);

} // namespace ami
