// Lookup table block.
