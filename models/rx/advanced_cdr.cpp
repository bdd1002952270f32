// Receiver clock recovery: bang-bang loop with latency line, vote and ramping threshold.
