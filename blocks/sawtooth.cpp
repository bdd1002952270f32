// Sawtooth block: scaled moving average minus the delayed input.
