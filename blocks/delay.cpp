// Whole-sample delay line.
