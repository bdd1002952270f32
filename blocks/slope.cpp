// Slope block: moving average over the ramp time.
