// Triangle block: first-order high-pass.
