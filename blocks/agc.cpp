// Automatic gain control block.
