// Decision feedback equalizer block.
