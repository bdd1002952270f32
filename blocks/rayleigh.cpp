// Rayleigh block: third-order hump filter.
