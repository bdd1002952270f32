// Nonlinearities applied to responses through one PRBS7 period.
