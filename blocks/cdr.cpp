// Bang-bang clock and data recovery block.
