// Peaking filter block.
