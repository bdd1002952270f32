// Conversions between responses and PRBS7 waveforms.
