// Conversions between impulse, step and pulse responses.
