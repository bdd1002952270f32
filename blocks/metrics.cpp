// Figures of merit of an impulse response: peak, eye opening, SNR.
